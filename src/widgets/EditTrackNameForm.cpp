#include "widgets/EditTrackNameForm.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace dw {

TfrmEditTrackName::TfrmEditTrackName(const QString& title, QWidget* parent)
    : TranslatedDialog(parent),
      GroupBox1(new QGroupBox(QStringLiteral("Please enter the new track title"), this)),
      Edit1(new QLineEdit(title, GroupBox1)),
      btOK(new QPushButton(QStringLiteral("&OK"), this)),
      btCancel(new QPushButton(QStringLiteral("&Cancel"), this))
{
    setObjectName(QStringLiteral("frmEditTrackName"));
    setWindowTitle(QStringLiteral("Rename Track Title"));
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    Edit1->setObjectName(QStringLiteral("Edit1"));
    btOK->setObjectName(QStringLiteral("btOK"));
    btCancel->setObjectName(QStringLiteral("btCancel"));

    auto* groupLayout = new QVBoxLayout(GroupBox1);
    groupLayout->addWidget(Edit1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btOK);
    buttons->addWidget(btCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addLayout(buttons);
    Edit1->setMinimumWidth(320);

    btOK->setDefault(true);
    btOK->setEnabled(!title.isEmpty());
    connect(Edit1, &QLineEdit::textChanged, this, [this](const QString& t) { btOK->setEnabled(!t.isEmpty()); });
    connect(Edit1, &QLineEdit::returnPressed, this, [this] {
        if (btOK->isEnabled())
            accept();
    });
    connect(btOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
}

QString TfrmEditTrackName::title() const
{
    return Edit1->text();
}

void TfrmEditTrackName::showEvent(QShowEvent* event)
{
    TranslatedDialog::showEvent(event);
    Edit1->selectAll();
    Edit1->setFocus();
}

std::optional<QString> AskTrackTitle(const QString& title, QWidget* parent)
{
    TfrmEditTrackName dialog(title, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.title();
}

}  // namespace dw
