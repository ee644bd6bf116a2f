#include "widgets/AboutForm.h"

#include "platform/Dialogs.h"
#include "widgets/AboutPicture.h"
#include "widgets/LinkLabel.h"
#include "widgets/ProductLinks.h"
#include "widgets/TranslateForm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace dw {

TfrmAbout::TfrmAbout(QWidget* parent) : TranslatedDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About"));

    auto* top = new QHBoxLayout;
    auto* image = new QLabel(this);
    image->setObjectName(QStringLiteral("Image1"));
    const QPixmap picture = AboutPicture();
    if (!picture.isNull())
        image->setPixmap(picture);
    image->setVisible(!picture.isNull());
    top->addWidget(image, 0, Qt::AlignTop);

    auto* text = new QVBoxLayout;
    auto* product = new QLabel(ProductCaption(), this);
    product->setObjectName(QStringLiteral("lbProductName"));
    product->setProperty(NoTranslateProperty, true);  // the product name is never translated
    QFont big = product->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    product->setFont(big);
    text->addWidget(product);

    auto* versionRow = new QHBoxLayout;
    auto* versionCaption = new QLabel(QStringLiteral("Version"), this);
    versionCaption->setObjectName(QStringLiteral("lbVersionCaption"));
    auto* version = new QLabel(VersionText(), this);
    version->setObjectName(QStringLiteral("lbVersion"));
    version->setProperty(NoTranslateProperty, true);
    versionRow->addWidget(versionCaption);
    versionRow->addWidget(version);
    versionRow->addStretch();
    text->addLayout(versionRow);

    auto* description = new QLabel(QStringLiteral("CD ripper and audio converter"), this);
    description->setObjectName(QStringLiteral("lbDescription"));
    text->addWidget(description);
    text->addSpacing(8);
    auto* home = new LinkLabel(QString::fromLatin1(HomePageAddress), HomePageUrl(), this);
    home->setObjectName(QStringLiteral("lbHomePage"));
    home->setProperty(NoTranslateProperty, true);  // an address
    text->addWidget(home);
    auto* update = new LinkLabel(QStringLiteral("Check for Update..."), UpdatePageUrl(), this);
    update->setObjectName(QStringLiteral("lbCheckUpdate"));
    text->addWidget(update);
    text->addStretch();
    top->addLayout(text, 1);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("btOK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setMinimumWidth(380);
}

}  // namespace dw
