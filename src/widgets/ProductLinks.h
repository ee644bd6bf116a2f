#pragma once
// Web addresses the windows open: the product's home and update pages, and
// the help file shipped in the program folder.

#include <QString>
#include <QUrl>

namespace dw {

inline constexpr char HomePageAddress[] = "https://www.quobel.example/discwright/";
inline constexpr char UpdatePageAddress[] = "https://www.quobel.example/discwright/update.html";
// The help page, in the program folder.
inline constexpr char HelpFileName[] = "Discwright.html";

QUrl HomePageUrl();
QUrl UpdatePageUrl();
// ProgramFolder() + HelpFileName as a file URL.
QUrl HelpFileUrl();

}  // namespace dw

namespace dw {

// The main window's caption: the product name, a blank and the version.
QString MainWindowCaption();
// The version number alone, as the About window shows it.
QString VersionText();

}  // namespace dw
