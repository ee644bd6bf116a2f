#pragma once
// A rip job: the tracks of a job list ripped to WAV files one after another,
// in drive mode with a TCDRipThread per track over the drive library, or in
// ripper mode by pulling from a TCDIn through a TWaveOut. Front ends (the
// command line, later the job runner) draw what the view is told.
//
// Every track gets a file of its own (UniqueFileStems), written under a
// temporary name and renamed into place when whole; a failed or stopped
// track leaves no file, and an existing file is replaced only when the
// settings say Overwrite.
//
// Main thread only: Run serves the event loop until the last track is done.

#include "cd/CDRipThread.h"
#include "app/JobEvents.h"

#include <QString>
#include <QStringList>
#include <QEventLoop>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

namespace dw {

class TCDIn;
class TWaveOut;

enum class TRipMode { Drive, Ripper };

// One job-list item: the first two characters are the track number, the rest
// the file-name stem.
struct TRipItem {
    int Track = 0;  // the disc's track number
    QString Title;
};
// Nullopt when the first two characters are not a track number 1..99.
std::optional<TRipItem> ParseRipItem(const QString& item);

struct TRipTrackResult {
    int Track = 0;
    QString Title;
    QString FileName;  // the WAV file
    bool Ripped = false;
    bool Stopped = false;  // the job was stopped before this track was whole
    QString Message;   // for a failure: the message to show; a file's failure
                       // names the file and the system's reason
    QString Detail;    // for a failure: a plain English reason, when one is known
};

// What a front end is told while the job runs (all on the main thread).
class TRipJobView {
public:
    virtual ~TRipJobView() = default;
    virtual void TrackStarted(int index, int count, const TRipTrackResult& track) {}
    virtual void Progress(int percent, const QString& elapsed, const QString& estimated) {}
    virtual void Normalizing() {}
    virtual void TrackFinished(const TRipTrackResult& result) {}
};

class TTrackRipJob : public JobEventReceiver {
public:
    // Drive mode reads through cdHandle; ripper mode pulls from cdIn with its
    // drive already chosen. The view may be null.
    TTrackRipJob(TRipMode mode, int cdHandle, TCDIn* cdIn, TRipSettings settings, TRipJobView* view = nullptr);
    ~TTrackRipJob() override;

    // Rips the items in order and gives one result per item. A drive that
    // cannot be set up or whose table of contents cannot be read ends the job:
    // the items after it are reported failed with the same message.
    std::vector<TRipTrackResult> Run(const QStringList& items);
    // Ends the job after the current track (which is stopped); callable from
    // the view's callbacks, from another thread and from a signal handler
    // (it only sets a lock-free flag that the job polls).
    void Stop() { stopped_ = true; }
    bool WasStopped() const { return stopped_; }

protected:
    void jobEvent(std::unique_ptr<TProcessInfo> info) override;
    void ripError(int code) override;

private:
    // Ends with result filled in; false when the whole job must end.
    bool ripWithThread(TRipTrackResult& result);
    void ripWithCdIn(TRipTrackResult& result);

    TRipMode mode_;
    int cdHandle_;
    TCDIn* cdIn_;
    TRipSettings settings_;
    TRipJobView* view_;
    std::atomic<bool> stopped_{false};
    static_assert(std::atomic<bool>::is_always_lock_free, "Stop is called from signal handlers");
    int firstTrack_ = 1;  // ripper mode: the disc's number of component track 1
    std::unique_ptr<TWaveOut> waveOut_;  // ripper mode

    // The track in progress (drive mode).
    bool trackDone_ = false;
    int doneResult_ = 0;
    int ripError_ = 0;
    QEventLoop* loop_ = nullptr;  // the loop waiting for the track
    TCDRipThread* thread_ = nullptr;  // the thread of the track in progress
};

}  // namespace dw
