#pragma once
// The track listing of the main window, as core functions the window (and the
// command line) call: row values, the job list, drive-mode detection, whether
// an audio CD is present, listing from the table of contents, Refresh's
// decision and the disc-information write on closing.
//
// Main thread only. The listing works on a disc value its front end gives
// it (the front end's current disc): the titles the rows start from, the
// track count, and what the closing step stores. It reads no settings: the
// drive position comes as an argument.

#include "app/DiscInfo.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace dw {

// One row of the track list.
struct TrackRow {
    int track = 0;     // caption: the disc's decimal track number
    QString title;     // sub-item 0
    QString length;    // sub-item 1, "MM:SS"
    QString size;      // sub-item 2, megabytes "NN.NN"
    bool checked = true;
    bool data = false; // a data track (listed, but refused when ripped)
};

// "04:07" for 4 minutes 7 seconds.
QString TrackLengthText(int minutes, int seconds);
// Size of that much 44.1 kHz 16-bit stereo audio in megabytes with two
// decimals, the hundredths rounded halves to even: "41.55", "00.50", "746.93".
QString TrackSizeText(int minutes, int seconds);
// The row of a track; an empty title slot of disc is first set to "Track"
// + two digits and then used.
TrackRow MakeTrackRow(int track, int minutes, int seconds, TDiscInfo& disc);

// One text per ticked row in list order: the two-digit track number, then the
// file-name stem of the title: without the characters not allowed in file
// names, made safe and distinct (UniqueFileStems over all rows, so a track's
// name does not depend on which others are ticked).
QStringList BuildJobList(const std::vector<TrackRow>& rows);

// How the listing reaches the disc-information cache: reads (write false) or
// writes the listing's disc value (the front end gives both the same one)
// under a disc key; false when a write could not be saved.
// The cache lives above this layer; cddb/DiscCache.h gives DiscListingCache().
using DiscCacheAccess = std::function<bool(const QString& discKey, bool write)>;

class TCDIn;

// The state of the main window's track list, in drive mode (a drive-library
// handle) or ripper mode (the CD input component).
class DiscListing {
public:
    // disc: the disc value the rows' titles come from and go to (it must
    // outlive the listing). Without a cache the titles stay as it holds them.
    explicit DiscListing(TDiscInfo& disc, DiscCacheAccess cache = {}) : disc_(disc), cache_(std::move(cache)) {}

    int CDHandle = 0;            // drive library handle, 0 = ripper mode
    bool NoAudioCd = false;
    QString DriveDescription;    // vendor followed by product, at most 26 characters
    QString IdleStatusText;
    QString Status;              // the status line
    std::vector<TrackRow> Rows;  // the track list
    QString DrivePath;           // the drive or image listed (the selected one)
    QString DiscKey;             // cache key of the disc the rows were listed from
    QString ErrorDetail;         // plain English reason of the latest failed table read

    // Finds the drive at position (out-of-range positions give 0) and opens it
    // through the drive library; gives the handle, 0 when there is no drive or
    // it cannot be opened (status "No CD devices found!"). Stores the handle.
    int DetectDriveMode(int position);

    // The showing step: drive-mode detection, then the listing when the
    // drive at position holds an audio CD (otherwise NoAudioCd), and
    // IdleStatusText. Every cache read and write goes by that drive's disc.
    void Show(int position);

    // The activation step. In ripper mode (no handle) with a component: when an
    // audio CD is in the drive at `index` (the chosen drive position), the
    // component selects that drive and the tracks are listed through it;
    // otherwise NoAudioCd. Then, with NoAudioCd, the no-audio-CD status.
    void Activate(int index, TCDIn* component = nullptr);

    // Ripper mode: reads the disc information, then lists every track of the
    // component's disc with its length; the status (and IdleStatusText) become
    // the component's drive name.
    void ListThroughComponent(TCDIn& component);

    // Selects the component's drive at `index`, or drive 0 when index <= 0 or
    // index >= the drive count.
    static void SelectComponentDrive(TCDIn& component, int index);
    // The device or image at `index` of the current drive list (drive 0 when
    // index is out of range, as SelectComponentDrive and DetectDriveMode
    // choose); empty without drives.
    static QString DrivePathAt(int index);

    // Reads the disc information, then lists the tracks from the table of
    // contents. False (status "Not get CD device information!", empty list)
    // when the table cannot be read.
    bool ListFromToc();

    // Menu "Refresh" and device arrival; in ripper mode through the component
    // and the drive at `index`.
    void Refresh(int index, TCDIn* component = nullptr);

    // Device removal: the list is cleared (and belongs to no disc).
    void Clear()
    {
        Rows.clear();
        DiscKey.clear();
    }

    // The window's closing steps for the disc: titles of the rows into the
    // listing's disc value, the disc information saved under the key of the disc the rows
    // were listed from (never another drive's or a newly inserted disc's), the drive
    // handle closed ("Error while closing CD handle!" through the dialogs when
    // that fails). The window then stops playback and saves the settings.
    // False when the disc information could not be saved (the window and the
    // command line show LastDiscCacheError).
    bool CloseDisc();

    ~DiscListing();
    DiscListing(const DiscListing&) = delete;
    DiscListing& operator=(const DiscListing&) = delete;

private:
    void readDiscInformation();
    void noteTrackCount();  // the disc's last track number into DiscTrackCount
    TDiscInfo& disc_;
    DiscCacheAccess cache_;
    int position_ = 0;      // the drive-mode position detected
};

}  // namespace dw
