#include "widgets/ProductLinks.h"

#include "app/Version.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"

namespace dw {

QUrl HomePageUrl()
{
    return QUrl(QString::fromLatin1(HomePageAddress));
}

QUrl UpdatePageUrl()
{
    return QUrl(QString::fromLatin1(UpdatePageAddress));
}

QUrl HelpFileUrl()
{
    return QUrl::fromLocalFile(ProgramFolder() + QString::fromLatin1(HelpFileName));
}

QString MainWindowCaption()
{
    return QString::fromLatin1(ProductName) + QLatin1Char(' ') + ProductVersion();
}

QString VersionText()
{
    return ProductVersion();
}

}  // namespace dw
