#include "widgets/CddbMatchForm.h"

#include "cd/DriveCddbProtocol.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace dw {

TfrmCddbMatch::TfrmCddbMatch(const QStringList& matches, QWidget* parent) : TranslatedDialog(parent)
{
    setObjectName(QStringLiteral("frmCddbMatch"));
    setWindowTitle(QStringLiteral("Choose a CDDB entry"));

    auto* lChoose = new QLabel(QStringLiteral("The CDDB server knows several entries for this disc:"), this);
    lChoose->setObjectName(QStringLiteral("lChoose"));

    lvMatches = new QTreeWidget(this);
    lvMatches->setObjectName(QStringLiteral("lvMatches"));
    lvMatches->setRootIsDecorated(false);
    lvMatches->setUniformRowHeights(true);
    lvMatches->setSelectionMode(QAbstractItemView::SingleSelection);
    lvMatches->setHeaderLabels({QStringLiteral("Category"), QStringLiteral("Disc ID"), QStringLiteral("Title")});
    for (const QString& line : matches) {
        // A line the server sent in another shape is shown whole as its title.
        const std::optional<CddbMatch> match = ParseCddbMatch(line);
        auto* item = new QTreeWidgetItem(lvMatches);
        if (match) {
            item->setText(0, match->category);
            item->setText(1, match->discId);
            item->setText(2, match->title);
        } else {
            item->setText(2, line);
        }
    }
    lvMatches->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lvMatches->header()->setStretchLastSection(true);
    if (lvMatches->topLevelItemCount() > 0)
        lvMatches->setCurrentItem(lvMatches->topLevelItem(0));
    connect(lvMatches, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);

    bOK = new QPushButton(QStringLiteral("OK"), this);
    bOK->setObjectName(QStringLiteral("bOK"));
    bOK->setDefault(true);
    bCancel = new QPushButton(QStringLiteral("Cancel"), this);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    connect(bOK, &QPushButton::clicked, this, [this] {
        if (Chosen() >= 0)
            accept();
    });
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(bOK);
    buttons->addWidget(bCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lChoose);
    layout->addWidget(lvMatches, 1);
    layout->addLayout(buttons);
    resize(460, 240);
}

int TfrmCddbMatch::Chosen() const
{
    const QList<QTreeWidgetItem*> selected = lvMatches->selectedItems();
    return selected.isEmpty() ? -1 : lvMatches->indexOfTopLevelItem(selected.first());
}

}  // namespace dw
