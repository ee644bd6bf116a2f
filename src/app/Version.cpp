#include "app/Version.h"

namespace dw {

QString ProductName()
{
    return QStringLiteral("Discwright");
}

QString ProductVersion()
{
    return QStringLiteral(DISCWRIGHT_VERSION);
}

}  // namespace dw
