#pragma once
// Where the program finds its own files and the user's.

#include <QString>
#include <QStringList>

namespace dw {

// The program folder, with a trailing "/": DISCWRIGHT_PROGRAM_DIR when set,
// otherwise the folder of the executable. Language files, cdinfo.dat, cdr.ini
// and helper programs (WM8EUTIL, lame) live here.
QString ProgramFolder();

// The per-user application-data folder with a trailing "/":
// $XDG_CONFIG_HOME, else ~/.config.
QString UserAppDataFolder();

// Extra CD images named in DISCWRIGHT_CD_IMAGES (colon-separated), in order.
QStringList ConfiguredCdImages();

}  // namespace dw
