#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

#include <cerrno>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/NativePath.h"

namespace dw {

namespace {

QString withSlash(QString p)
{
    if (!p.isEmpty() && !p.endsWith('/'))
        p += '/';
    return p;
}

// An environment variable as a path, its bytes kept as the system gave them.
QString envPath(const char* name) { return PathFromNative(qgetenv(name)); }

}  // namespace

QString ProgramFolder()
{
    const QString over = envPath("DISCWRIGHT_PROGRAM_DIR");
    if (!over.isEmpty())
        return withSlash(QDir::isAbsolutePath(over) ? QDir::cleanPath(over) : QDir(over).absolutePath());
    QString dir;
    if (QCoreApplication::instance())
        dir = QCoreApplication::applicationDirPath();
    if (dir.isEmpty())
        dir = QDir::currentPath();
    return withSlash(dir);
}

QString UserAppDataFolder()
{
    QString base = envPath("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        const QString home = HomeFolder();
        base = (home.isEmpty() ? QDir::homePath() : home) + "/.config";
    }
    return withSlash(base);
}

namespace {

// "<$name or home + fallback>/Quobel/Discwright/".
QString xdgProgramFolder(const char* name, const char* fallback)
{
    QString base = envPath(name);
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        const QString home = HomeFolder();
        base = (home.isEmpty() ? QDir::homePath() : home) + QLatin1String(fallback);
    }
    return withSlash(base) + QStringLiteral("Quobel/Discwright/");
}

}  // namespace

QString UserDataFolder() { return xdgProgramFolder("XDG_DATA_HOME", "/.local/share"); }

QString UserCacheFolder() { return xdgProgramFolder("XDG_CACHE_HOME", "/.cache"); }

QString HomeFolder()
{
    QString home = envPath("HOME");
    if (home.isEmpty()) {
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
            home = PathFromNative(pw->pw_dir);
    }
    while (home.size() > 1 && home.endsWith('/'))
        home.chop(1);
    if (home.isEmpty() || !IsDirectory(home))
        return {};
    return home;
}

QString MusicFolder()
{
    const QString home = HomeFolder();
    if (home.isEmpty())
        return {};
    // Qt reads the XDG user-dirs file and gives ~/Music when it names no music folder.
    QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (music.isEmpty())
        music = home + "/Music";
    return withSlash(music);
}

bool MakePath(const QString& folder, QString* reason)
{
    if (folder.isEmpty())
        return false;
    const QString clean = QDir::cleanPath(folder);
    if (IsDirectory(clean))
        return true;
    // Create each missing level from the top down.
    QString built = clean.startsWith('/') ? QStringLiteral("") : QStringLiteral(".");
    for (const QString& part : clean.split('/', Qt::SkipEmptyParts)) {
        built += '/' + part;
        if (::mkdir(NativePath(built).constData(), 0777) != 0 && errno != EEXIST) {
            if (reason)
                *reason = built + QStringLiteral(": ") + SystemReason(errno);
            return false;
        }
    }
    if (IsDirectory(clean))
        return true;
    if (reason)
        *reason = clean + QStringLiteral(": ") + SystemReason(ENOTDIR);
    return false;
}

QStringList ConfiguredCdImages()
{
    QStringList out;
    const QString list = envPath("DISCWRIGHT_CD_IMAGES");
    for (const QString& p : list.split(':', Qt::SkipEmptyParts))
        out << p;
    return out;
}

}  // namespace dw
