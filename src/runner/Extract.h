#pragma once
// The extract command of the main window as core functions, so the window
// and the command line run the same policy: reaching the disc in drive or
// ripper mode with its track list (TExtractDisc), then the checks before a
// rip with their messages, the job list and the rip engine (TExtract),
// which reads the tracks in either mode and encodes while it reads; the
// modes differ in how the sectors are read. Messages and the question about a missing output folder go
// through platform/Dialogs; the result repeats them for front ends that
// print instead.
//
// Main thread only. The command starts its job and returns; the caller's
// event loop serves the job, and its end comes through a callback.

#include "app/JobConfig.h"
#include "cd/DiscListing.h"
#include "runner/CDRipEngine.h"
#include "runner/CDRipSettings.h"
#include "runner/JobView.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace dw {

class TCDIn;
class TMp3EncodeProcess;
class TWMAEncodeProcess;

enum class TRipModeChoice { Auto, Drive, Ripper };

// Why a disc cannot be ripped.
enum class TDiscProblem { None, NoDrive, NoAudioCd, TocUnreadable, NoComponentDrive };

// The disc as the main window reaches it.
class TExtractDisc {
public:
    // disc: the front end's current disc, which the listing fills and reads
    // (see DiscListing).
    explicit TExtractDisc(TDiscInfo& disc, DiscCacheAccess cache = {});
    ~TExtractDisc();
    TExtractDisc(const TExtractDisc&) = delete;
    TExtractDisc& operator=(const TExtractDisc&) = delete;

    // Decides the mode as the main window does - drive mode when the drive
    // library opens the drive at `index`, otherwise ripper mode through the
    // CD input component - unless the choice forces one, and lists the
    // tracks. TDiscProblem::None when there are tracks to rip; otherwise
    // Message() gives the status the window would show.
    TDiscProblem Open(TRipModeChoice choice, int index);

    bool DriveMode() const { return listing_.CDHandle != 0; }
    DiscListing& Listing() { return listing_; }
    std::vector<TrackRow>& Rows() { return listing_.Rows; }
    TCDIn* Component() { return component_.get(); }
    const QString& Message() const { return message_; }

private:
    TDiscProblem problem(TDiscProblem kind, const QString& message);

    DiscListing listing_;
    std::unique_ptr<TCDIn> component_;
    QString message_;
};

// How an extract ended.
struct TExtractResult {
    // False when a check stopped the command before any job: Message says
    // why (already shown through the dialogs, unless the user declined).
    bool Ran = false;
    QString Message;
    bool DriveMode = false;
    bool Stopped = false;
    std::vector<TCDRipItem> Items;  // one per job-list item, in order
    // The disc the job ran with: the configuration's, with the list's
    // titles as they stood when the job started (set when Ran). A front end
    // that keeps a current disc of its own stores them there itself.
    TDiscInfo Disc;
    bool AllDone() const;
};

class TExtract {
public:
    // The encoder objects are the program's own; without them the command
    // makes its own for the job.
    TExtract(TExtractDisc& disc, TJobView& view, TMp3EncodeProcess* lame = nullptr, TWMAEncodeProcess* wma = nullptr);
    ~TExtract();
    TExtract(const TExtract&) = delete;
    TExtract& operator=(const TExtract&) = delete;

    // The command on the ticked rows: the checks (their messages and the
    // folder question are shown before this returns), the job list, then
    // the job of the disc's mode, shown through the view. Returns once the
    // job has started; onEnd gets the result once, from the event loop,
    // after the job has closed (or at once, from the event loop too, when a
    // check refused the command). Both modes run with config (the front
    // end's stored options, disc and Overwrite) and the list's current
    // titles in place of the disc's. One command per object; the object
    // must outlive the job and may go inside onEnd.
    using TEnd = std::function<void(const TExtractResult&)>;
    void Start(const TJobConfig& config, TEnd onEnd);
    // The Stop button of the job under way; also before Start (the job then
    // ends at once).
    void Stop();
    // For front ends without a Stop button: a drive-mode rip that stalls
    // (the drive cannot be set up or its table of contents read) ends the
    // job instead of waiting to be stopped. Before Run.
    void SetEndOnStall(bool end) { endOnStall_ = end; }
    // Called once the ticked rows, the output folder and the drive have
    // passed their checks, before the rip length is checked: the main window
    // stops CD playback there, so a refused command leaves playback alone.
    std::function<void()> ChecksPassed;

private:
    class ClosingView;

    bool checks(const TJobConfig& config, TExtractResult& result);
    void runRipper(const QStringList& items, const TJobConfig& config);
    void runDrive(const QStringList& items, const TJobConfig& config);
    // Called by the view when the engine has closed: the result is
    // collected and delivered outside the engine's handler.
    void closed();
    void deliver();

    QObject context_;  // posted calls go with the object

    TExtractDisc& disc_;
    TJobView& view_;
    std::unique_ptr<TMp3EncodeProcess> ownLame_;
    std::unique_ptr<TWMAEncodeProcess> ownWma_;
    TMp3EncodeProcess* lame_;
    TWMAEncodeProcess* wma_;
    std::unique_ptr<ClosingView> closingView_;
    std::unique_ptr<TCDRipEngine> engine_;  // the job, in either mode
    TExtractResult result_;
    QStringList items_;
    TJobConfig config_;
    TEnd onEnd_;
    bool ending_ = false;
    bool stopAsked_ = false;
    bool endOnStall_ = false;
};

}  // namespace dw
