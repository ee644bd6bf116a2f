#include "cli/CliDisc.h"

#include <QFileInfo>

#include "platform/CdDrives.h"

namespace dw::cli {

bool applyDevice(const Args& args, QString& error)
{
    if (!args.options.contains("device"))
        return true;
    const QString device = args.value("device");
    if (device.isEmpty() || !QFileInfo::exists(device)) {
        error = QString("no such drive or image: %1").arg(device);
        return false;
    }
    SetExplicitCdDevices({QFileInfo(device).absoluteFilePath()});
    return true;
}

QString messageText(const res::Key& key, const QString& shown)
{
    return shown.isEmpty() ? QString::fromUtf8(key.english) : shown;
}

QString messageText(const res::Key& key) { return messageText(key, ResourceText(key)); }

}  // namespace dw::cli
