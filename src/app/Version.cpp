#include "app/Version.h"

namespace dw {

QString ProductVersion()
{
    return QStringLiteral(DISCWRIGHT_VERSION);
}

}  // namespace dw
