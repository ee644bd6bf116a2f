#include "platform/DeviceMonitor.h"

#include "platform/NativePath.h"
#include "platform/Paths.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSocketNotifier>
#include <QTimer>

#include <libudev.h>

#include <memory>

namespace dw {

namespace {

// Image events closer together than this are one change (a rewrite of an
// image is several writes and a rename).
constexpr int SettleMs = 150;

struct DeviceUnref {
    void operator()(udev_device* d) const { udev_device_unref(d); }
};

QString udevProperty(udev_device* device, const char* name)
{
    const char* value = udev_device_get_property_value(device, name);
    return value ? QString::fromUtf8(value) : QString();
}

QString folderOf(const QString& path) { return QFileInfo(path).absolutePath(); }

}  // namespace

void TDeviceMonitor::UdevDeleter::operator()(udev* u) const { udev_unref(u); }
void TDeviceMonitor::UdevDeleter::operator()(udev_monitor* m) const { udev_monitor_unref(m); }

TDeviceMonitor::TDeviceMonitor(QObject* parent) : QObject(parent) {}

TDeviceMonitor::~TDeviceMonitor() { Stop(); }

bool TDeviceMonitor::Start() { return Start(ConfiguredCdImages()); }

bool TDeviceMonitor::Start(const QStringList& images)
{
    Stop();
    running_ = true;
    startUdev();

    images_ = images;
    files_ = new QFileSystemWatcher(this);
    settle_ = new QTimer(this);
    settle_->setSingleShot(true);
    settle_->setInterval(SettleMs);
    connect(settle_, &QTimer::timeout, this, &TDeviceMonitor::flushImages);
    connect(files_, &QFileSystemWatcher::fileChanged, this, &TDeviceMonitor::imageChanged);
    connect(files_, &QFileSystemWatcher::directoryChanged, this, &TDeviceMonitor::folderChanged);
    for (const QString& image : images_) {
        // The folder too: an image made anew (or renamed into place) is seen there.
        files_->addPath(folderOf(image));
        if (IsRegularFile(image)) {
            files_->addPath(image);
            present_ << image;
        }
    }
    return true;
}

void TDeviceMonitor::Stop()
{
    delete notifier_;
    notifier_ = nullptr;
    monitor_.reset();
    udev_.reset();
    delete files_;
    files_ = nullptr;
    delete settle_;
    settle_ = nullptr;
    images_.clear();
    present_.clear();
    pending_.clear();
    running_ = false;
}

void TDeviceMonitor::startUdev()
{
    udev_.reset(udev_new());
    if (!udev_)
        return;
    monitor_.reset(udev_monitor_new_from_netlink(udev_.get(), "udev"));
    if (!monitor_ || udev_monitor_filter_add_match_subsystem_devtype(monitor_.get(), "block", "disk") < 0 ||
        udev_monitor_enable_receiving(monitor_.get()) < 0) {
        monitor_.reset();
        udev_.reset();
        return;
    }
    notifier_ = new QSocketNotifier(udev_monitor_get_fd(monitor_.get()), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TDeviceMonitor::readUdev);
}

void TDeviceMonitor::readUdev()
{
    const std::unique_ptr<udev_device, DeviceUnref> device(udev_monitor_receive_device(monitor_.get()));
    if (!device)
        return;
    // CD drives only: other disks coming and going do not change the list.
    if (udevProperty(device.get(), "ID_CDROM") != QLatin1String("1"))
        return;
    const char* node = udev_device_get_devnode(device.get());
    const char* action = udev_device_get_action(device.get());
    if (!node || !action)
        return;
    const QString path = PathFromNative(node);
    const QByteArray what(action);
    const bool hasMedium = udevProperty(device.get(), "ID_CDROM_MEDIA") == QLatin1String("1");
    if (what == "remove" || (what == "change" && !hasMedium))
        emit removed(path);
    else if ((what == "add" || what == "change") && hasMedium)
        emit arrived(path);
}

void TDeviceMonitor::imageChanged(const QString& path)
{
    if (!pending_.contains(path))
        pending_ << path;
    settle_->start();
}

void TDeviceMonitor::folderChanged(const QString& folder)
{
    for (const QString& image : images_)
        if (folderOf(image) == folder && IsRegularFile(image) != present_.contains(image))
            imageChanged(image);
}

void TDeviceMonitor::flushImages()
{
    const QStringList changed = pending_;
    pending_.clear();
    for (const QString& image : changed) {
        const bool exists = IsRegularFile(image);
        const bool was = present_.contains(image);
        // A file replaced by a rename is a new file: watch it again.
        files_->removePath(image);
        if (exists) {
            files_->addPath(image);
            if (!was)
                present_ << image;
            emit arrived(image);
        } else {
            present_.removeAll(image);
            if (was)
                emit removed(image);
        }
    }
}

}  // namespace dw
