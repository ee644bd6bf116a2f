#pragma once
// Notices a disc arriving in or leaving the drives, for the main window's
// device-change handling: a configured CD image that appears, changes or
// disappears is watched as a file, physical drives through the udev monitor,
// and a periodic check of the disc key catches what both miss. While a modal window is open (a job reads the
// drive) nothing is checked.
//
// Main thread only.

#include <QObject>
#include <QString>

#include <functional>

class QFileSystemWatcher;
class QTimer;

namespace dw {

class DiscWatcher : public QObject {
    Q_OBJECT
public:
    // intervalMs: the period of the check.
    explicit DiscWatcher(QObject* parent = nullptr, int intervalMs = 2000);

    // The drive whose disc is watched (the one the window lists); without it
    // the first drive that holds an audio CD.
    void SetDrive(std::function<QString()> drivePath) { drivePath_ = std::move(drivePath); }

    // Takes the present state as known (after a listing) without reporting it.
    void resync();

    // Looks at the drives now; emits arrived or removed on a change.
    void check();

signals:
    void arrived();
    void removed();

private:
    void watchImages();
    QString currentKey() const;

    QTimer* timer_;
    QFileSystemWatcher* files_;
    QString key_;  // disc key last seen, empty: no audio CD
    std::function<QString()> drivePath_;
};

}  // namespace dw
