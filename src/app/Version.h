#pragma once
// The product's version, as both executables and the About window show it
// (the product name is ProductName of platform/Dialogs.h).

#include <QString>

namespace dw {

QString ProductVersion();  // the project version, e.g. "0.1.0"

}  // namespace dw
