#include "widgets/NoDeviceHintForm.h"

#include "platform/Dialogs.h"
#include "widgets/LinkLabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace dw {

namespace {

QLabel* wrapped(QLabel* label, const char* name)
{
    label->setObjectName(QString::fromLatin1(name));
    label->setWordWrap(true);
    return label;
}

}  // namespace

TfrmNoDeviceHint::TfrmNoDeviceHint(QWidget* parent) : TranslatedDialog(parent)
{
    setObjectName(QStringLiteral("frmNoDeviceHint"));
    setWindowTitle(ProductCaption());

    auto* layout = new QVBoxLayout(this);
    auto* heading = wrapped(
        new QLabel(QStringLiteral("The Software couldn't find CD devices.Please check the following problems:"), this),
        "lbHeading");
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout->addWidget(heading);
    layout->addWidget(wrapped(
        new QLabel(QStringLiteral("1. The CD drive is in use by another application that holds it exclusively "
                                  "(a burning program or a player). Close it and start again."),
                   this),
        "lbCause1"));
    layout->addWidget(wrapped(
        new QLabel(QStringLiteral("2. Only members of the group that owns the drive's device node (usually "
                                  "\"cdrom\" or \"optical\") may read audio from it. Ask your administrator to "
                                  "add you to that group, then log in again."),
                   this),
        "lbCause2"));
    layout->addWidget(wrapped(
        new QLabel(QStringLiteral("3. The drive is not known to the system: it is not connected, its driver is "
                                  "not loaded, or the CD image named in DISCWRIGHT_CD_IMAGES cannot be read. "
                                  "These pages explain drive access:"),
                   this),
        "lbCause3"));
    auto* links = new QVBoxLayout;
    links->setContentsMargins(24, 0, 0, 0);
    auto* link1 = new LinkLabel(QStringLiteral("The CD input library (libcdio)"),
                                QUrl(QStringLiteral("https://www.gnu.org/software/libcdio/")), this);
    link1->setObjectName(QStringLiteral("lbLink1"));
    auto* link2 = new LinkLabel(QStringLiteral("CD-ROM drivers of the Linux kernel"),
                                QUrl(QStringLiteral("https://docs.kernel.org/cdrom/cdrom-standard.html")), this);
    link2->setObjectName(QStringLiteral("lbLink2"));
    links->addWidget(link1);
    links->addWidget(link2);
    layout->addLayout(links);

    auto* close = new QPushButton(QStringLiteral("&Close"), this);
    close->setObjectName(QStringLiteral("btClose"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setMinimumWidth(460);
}

}  // namespace dw
