#include "platform/Paths.h"

#include <QCoreApplication>
#include <QDir>

namespace dw {

namespace {
QString withSlash(QString p)
{
    if (!p.isEmpty() && !p.endsWith('/'))
        p += '/';
    return p;
}
}  // namespace

QString ProgramFolder()
{
    const QString over = qEnvironmentVariable("DISCWRIGHT_PROGRAM_DIR");
    if (!over.isEmpty())
        return withSlash(QDir(over).absolutePath());
    QString dir;
    if (QCoreApplication::instance())
        dir = QCoreApplication::applicationDirPath();
    if (dir.isEmpty())
        dir = QDir::currentPath();
    return withSlash(dir);
}

QString UserAppDataFolder()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + "/.config";
    return withSlash(base);
}

QStringList ConfiguredCdImages()
{
    QStringList out;
    const QString list = qEnvironmentVariable("DISCWRIGHT_CD_IMAGES");
    for (const QString& p : list.split(':', Qt::SkipEmptyParts))
        out << p;
    return out;
}

}  // namespace dw
