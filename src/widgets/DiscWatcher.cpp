#include "widgets/DiscWatcher.h"

#include "platform/CdDrives.h"
#include "platform/DeviceMonitor.h"
#include "platform/Paths.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

namespace dw {

DiscWatcher::DiscWatcher(QObject* parent, int intervalMs)
    : QObject(parent), timer_(new QTimer(this)), files_(new QFileSystemWatcher(this))
{
    timer_->setInterval(intervalMs);
    connect(timer_, &QTimer::timeout, this, &DiscWatcher::check);
    connect(files_, &QFileSystemWatcher::fileChanged, this, &DiscWatcher::check);
    connect(files_, &QFileSystemWatcher::directoryChanged, this, &DiscWatcher::check);
    watchImages();
    timer_->start();
    // The kernel's media-change events reach the check at once; the timer
    // stays as the fallback where udev is not available (containers).
    auto* devices = new TDeviceMonitor(this);
    connect(devices, &TDeviceMonitor::arrived, this, &DiscWatcher::check);
    connect(devices, &TDeviceMonitor::removed, this, &DiscWatcher::check);
    devices->Start(QStringList());
}

void DiscWatcher::watchImages()
{
    // An image written anew is often replaced by a rename, which drops the
    // file's watch: the folder is watched too and the files re-added.
    for (const QString& image : ConfiguredCdImages()) {
        const QFileInfo info(image);
        if (info.exists() && !files_->files().contains(info.absoluteFilePath()))
            files_->addPath(info.absoluteFilePath());
        if (info.absoluteDir().exists() && !files_->directories().contains(info.absolutePath()))
            files_->addPath(info.absolutePath());
    }
}

QString DiscWatcher::currentKey() const
{
    return drivePath_ ? DiscKeyOf(drivePath_()) : ComputeDiscKey();
}

void DiscWatcher::resync()
{
    key_ = currentKey();
}

void DiscWatcher::check()
{
    if (QApplication::activeModalWidget())
        return;
    watchImages();
    const QString key = currentKey();
    if (key == key_)
        return;
    key_ = key;
    if (key.isEmpty())
        emit removed();
    else
        emit arrived();
}

}  // namespace dw
