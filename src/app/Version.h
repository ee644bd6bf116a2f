#pragma once
// The product's name and version, as both executables and the About window
// show them.

#include <QString>

namespace dw {

QString ProductName();     // "Discwright"
QString ProductVersion();  // the project version, e.g. "0.1.0"

}  // namespace dw
