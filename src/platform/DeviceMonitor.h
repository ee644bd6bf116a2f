#pragma once
// Notices discs arriving and leaving, for the main window's Refresh on
// arrival and clearing on removal: a udev monitor on block devices reports
// CD drives that gain or lose a medium (or appear and go), and the
// configured CD image files are watched as files: an image that is written,
// replaced or created counts as an arrival, one that is deleted as a
// removal. Events of one image within a short time are reported once.
//
// Main thread only; the signals are delivered there.

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QFileSystemWatcher;
class QSocketNotifier;
class QTimer;

struct udev;
struct udev_monitor;

namespace dw {

class TDeviceMonitor : public QObject {
    Q_OBJECT
public:
    explicit TDeviceMonitor(QObject* parent = nullptr);
    ~TDeviceMonitor() override;

    // Starts watching the drives and the images (by default those of
    // ConfiguredCdImages()). True when running; a missing udev (a container
    // without it) leaves only the images watched, see UdevActive.
    bool Start(const QStringList& images);
    bool Start();
    void Stop();
    bool IsRunning() const { return running_; }
    bool UdevActive() const { return notifier_ != nullptr; }

signals:
    // device: the device node or image path.
    void arrived(const QString& device);
    void removed(const QString& device);

private:
    struct UdevDeleter {
        void operator()(udev* u) const;
        void operator()(udev_monitor* m) const;
    };
    void startUdev();
    void readUdev();
    void imageChanged(const QString& path);
    void folderChanged(const QString& folder);
    void flushImages();

    bool running_ = false;
    std::unique_ptr<udev, UdevDeleter> udev_;
    std::unique_ptr<udev_monitor, UdevDeleter> monitor_;
    QSocketNotifier* notifier_ = nullptr;
    QFileSystemWatcher* files_ = nullptr;
    QTimer* settle_ = nullptr;
    QStringList images_;
    QStringList present_;  // images that existed at the last look
    QStringList pending_;  // images changed since the last report
};

}  // namespace dw
