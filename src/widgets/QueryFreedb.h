#pragma once
// The main window's "Query Freedb" command in both modes.
//
// Drive mode: the disc's table of contents is read; when it cannot be,
// "Error while reading TOC information!" (RES_ReadTocError); otherwise the
// lookup window (TfrmQueryCDDB) runs modally over the listing's rows and the
// disc values of the settings record.
//
// Ripper mode: the core's lookup (cddb/DiscLookup) reads the disc through the
// CD input component on the main thread, then runs the HTTP client's query
// and read on a worker while the window goes on; a finished lookup writes its
// titles and disc values and emits rowsChanged(). Nothing is shown, whatever
// the outcome. A result that arrives after the listing changed to another
// disc is dropped. Which mode a listing gets is the core's choice too.
//
// Main thread only.

#include "cddb/DiscLookup.h"

#include <QObject>
#include <QStringList>

#include <memory>

class QWidget;

namespace dw {

class DiscListing;
class TCDIn;

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
    bool Busy() const { return lookup_.Busy(); }
    // Abandons a ripper-mode lookup (the window is closing).
    void Cancel();

signals:
    void rowsChanged();

private:
    bool runDriveMode(DiscListing& listing);
    void ripperModeFinished(const CddbLookupOutcome& outcome);

    QWidget* window_;
    TRipperCddbLookup lookup_;
    DiscListing* listing_ = nullptr;  // the listing of the running ripper-mode lookup
};

}  // namespace dw
