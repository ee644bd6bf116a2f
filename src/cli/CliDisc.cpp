#include "cli/CliDisc.h"

#include "platform/CdDrives.h"
#include "platform/NativePath.h"
#include "platform/Paths.h"

#include <QDir>

#include <climits>
#include <unistd.h>

namespace dw::cli {

QString absolutePath(const QString& path)
{
    if (path.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(path);
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd))
        return path;
    return QDir::cleanPath(PathFromNative(cwd) + QLatin1Char('/') + path);
}

bool applyDevice(const Args& args, QString& error)
{
    if (!args.options.contains("device"))
        return true;
    const QString device = args.value("device");
    if (device.isEmpty()) {
        error = "--device needs a drive or image";
        return false;
    }
    const QString path = absolutePath(device);
    const QString problem = CdDeviceProblem(path);
    if (!problem.isEmpty()) {
        error = problem;
        return false;
    }
    SetExplicitCdDevices({path});
    return true;
}

QString noDriveMessage()
{
    QString text = messageText(res::NotFound_CDRom);
    for (const QString& image : ConfiguredCdImages()) {
        if (image.isEmpty())
            continue;
        const QString problem = CdDeviceProblem(image);
        if (!problem.isEmpty())
            text += " (" + problem + ")";
    }
    return text;
}

QString messageText(const res::Key& key, const QString& shown)
{
    return shown.isEmpty() ? QString::fromUtf8(key.english) : shown;
}

QString messageText(const res::Key& key) { return messageText(key, ResourceText(key)); }

}  // namespace dw::cli
