#pragma once
// Where the program finds its own files and the user's.

#include <QString>
#include <QStringList>

namespace dw {

// The program folder, with a trailing "/": DISCWRIGHT_PROGRAM_DIR when set,
// otherwise the folder of the executable. Language files and helper programs
// (WM8EUTIL, lame) live here. Once installed it is read-only: nothing the
// user changes is written here.
QString ProgramFolder();

// The per-user application-data folder with a trailing "/":
// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
QString UserAppDataFolder();

// The program's own folder for the user's data (the disc cache), with a
// trailing "/": "Quobel/Discwright/" in $XDG_DATA_HOME when that is an
// absolute path, else in ~/.local/share. Not created here.
QString UserDataFolder();

// The program's own folder for work files (the recorder's), with a trailing
// "/": "Quobel/Discwright/" in $XDG_CACHE_HOME when that is an absolute
// path, else in ~/.cache. Not created here.
QString UserCacheFolder();

// The user's home folder without a trailing "/": $HOME, else the password
// database's entry; empty when neither names an existing folder.
QString HomeFolder();

// The user's music folder with a trailing "/": XDG_MUSIC_DIR of the XDG
// user-dirs file, else ~/Music. Empty when the user has no home folder. The
// folder itself need not exist yet.
QString MusicFolder();

// Creates a folder with its missing parents (mode 0777 less the umask).
// True when the folder exists afterwards; otherwise *reason holds
// "<folder>: <system reason>" for the part that could not be made.
bool MakePath(const QString& folder, QString* reason = nullptr);

// Extra CD images named in DISCWRIGHT_CD_IMAGES (colon-separated), in order.
QStringList ConfiguredCdImages();

}  // namespace dw
