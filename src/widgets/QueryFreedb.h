#pragma once
// The main window's "Query Freedb" command in both modes.
//
// Drive mode: the disc's table of contents is read; when it cannot be,
// "Error while reading TOC information!" (RES_ReadTocError); otherwise the
// lookup window (TfrmQueryCDDB) runs modally over the listing's rows and the
// disc values of the settings record.
//
// Ripper mode: the disc is read through the CD input component on the main
// thread, then the HTTP client's query and read run on the query thread
// while the window goes on; a finished lookup writes its titles and disc
// values and emits rowsChanged(). Nothing is shown, whatever the outcome. A
// result that arrives after the listing changed to another disc is dropped.
//
// Main thread only.

#include <QObject>
#include <QStringList>

#include <memory>

class QWidget;

namespace dw {

class DiscListing;
class TCDIn;
class TQueryCDDBThread;

class TQueryFreedb : public QObject {
    Q_OBJECT
public:
    // window: the parent of the lookup window and of the message box.
    explicit TQueryFreedb(QWidget* window);
    ~TQueryFreedb() override;

    // Runs the command on listing (ripper mode when its CDHandle is 0, with
    // component as the CD input). True when the rows or disc values may have
    // changed already (drive mode); ripper mode reports through rowsChanged().
    bool Run(DiscListing& listing, TCDIn* component);

    // True while a ripper-mode lookup is under way.
    bool Busy() const { return thread_ != nullptr; }
    // Abandons a ripper-mode lookup (the window is closing).
    void Cancel();

signals:
    void rowsChanged();

protected:
    void customEvent(QEvent* event) override;

private:
    bool runDriveMode(DiscListing& listing);
    void runRipperMode(DiscListing& listing, TCDIn& component);

    QWidget* window_;
    std::unique_ptr<TQueryCDDBThread> thread_;
    DiscListing* listing_ = nullptr;  // the listing of the running ripper-mode lookup
    QString discKey_;                  // and the disc it was started for
    QStringList tracks_;
};

}  // namespace dw
