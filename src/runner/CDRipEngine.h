#pragma once
// TCDRipEngine: the ripper-mode rip. One reader (one drive: one track at a
// time) reads the items' tracks through the track source over the CD input
// component into WAV files; each ripped track is handed to a task
// (TCDRipTask: [normalise] -> keep the WAV -> encode -> tag -> commit) on one
// of the engine's workers, so that while a track is encoded the next one is
// already read. Encodes run side by side on as many workers as the machine
// has processors; the reader never runs more tracks ahead of the oldest item
// under way than there are workers, so the ripped tracks waiting for a
// worker (WAVs on disk) and the memory stay bounded.
// Ogg Vorbis, FLAC and Opus go through our own writers, MP3 and WMA through
// the encoder processes (the program's objects serve the first worker; the
// engine makes its own for the others).
//
// What the view sees stays one item after the other: each item's stages in
// order ("Extracting", "Normalizing", "Encoding"), an item's later stages
// shown once every item before it has ended or when the reader moves on to
// the next track, so the view mostly shows the reader's stage. Items are
// reported (ItemFinished) in item order, each when it and every item before
// it have ended.
//
// ReplayGain (when the settings ask): a loudness tap on the read stream
// measures each track from what is ripped (a normalised track is measured
// again from its scaled copy, the file that is encoded). The track's values
// go into its encoded file before it is put in place: comments of Ogg Vorbis
// and FLAC files (REPLAYGAIN_*), of Opus files (R128_TRACK_GAIN), TXXX frames
// of an ID3v2.4 tag of MP3 files. Every track ripped whole counts for the
// album; when the job's last item has ended (not stopped), the album's
// values are written into every MP3, Ogg Vorbis, FLAC and Opus file of the
// job on a thread of the engine's own, before that item is reported.
//
// ID3v2.4: every MP3 gets its ID3v1 trailer; with the Id3v2 option (on by
// default) also an ID3v2.4 tag with the same values (see EncodedTags.h).
//
// Whole or nothing: every file is written under a temporary name and renamed
// into place when complete. A failed or stopped rip or encoding leaves no
// file of its own and an existing file as it was; an existing file is
// replaced only when the settings say Overwrite. A track whose rip failed is
// reported (naming the file and the component's reason) and not encoded. The
// ripped WAV of an encoded track is removed unless IsKeepWav, but kept when
// its encoding failed or was stopped, so that the rip is not lost.
//
// Stop: one cancellation token reaches the reader and every task; each
// stage under way ends and reports, the items under way are reported
// stopped, the ones never begun are not reported, and the job closes once
// every stage has ended. Files finished before stay.
//
// Event-driven: Start and Stop return at once; the engine advances on the
// events of its reader and tasks, all handled on the main thread. Main
// thread only.

#include "app/DiscInfo.h"
#include "app/JobEvents.h"
#include "audio/formats/LoudnessAlbum.h"
#include "audio/formats/LoudnessValues.h"
#include "cd/LoudnessTap.h"
#include "platform/CancelToken.h"
#include "runner/BackgroundStep.h"
#include "runner/CDRipSettings.h"
#include "runner/JobView.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <vector>

namespace dw {

class TCDIn;
class TCDRipTask;
class TMp3EncodeProcess;
class TOutputFile;
class TPcmTap;
class TTrackSource;
class TWMAEncodeProcess;
struct TCDRipTaskEnd;
struct TTrackReadEnd;

// One item of the job and how it ended.
struct TCDRipItem {
    int Track = 0;       // the disc's track number; 0 when the item has none
    QString Title;       // the title part of the job-list text
    QString WavFile;     // the ripped track's file (outputs name what is left)
    TJobItemResult Result;
    TLoudness Loudness;  // of the ripped WAV, when ReplayGain is on and it was measured
};

class TCDRipEngine : public QObject {
public:
    // The component must have its drive chosen; the encoder objects are the
    // program's (they serve the first worker and must outlive the engine).
    TCDRipEngine(TCDIn& cdIn, TCDRipSettings settings, TJobView& view, TMp3EncodeProcess& lame,
                 TWMAEncodeProcess& wma);
    // Reads through the given source instead (drive mode: the drive
    // library's rip thread).
    TCDRipEngine(std::unique_ptr<TTrackSource> source, TCDRipSettings settings, TJobView& view,
                 TMp3EncodeProcess& lame, TWMAEncodeProcess& wma);
    ~TCDRipEngine() override;

    // How many tracks are encoded side by side (at least 1; by default the
    // machine's processors). Before Start.
    void SetEncodeWorkers(int workers);
    int EncodeWorkers() const { return workers_; }
    // Whether the next track is read while earlier ones are encoded (on by
    // default). Off: each item ends before the next track is read. Before Start.
    void SetOverlap(bool overlap) { overlap_ = overlap; }
    // A tap that sees every block of every track read (it must outlive the
    // engine's reads). Before Start.
    void AddTap(TPcmTap& tap);
    // Drive mode as its window has always shown it: a track that cannot be
    // read, written, encoded or tagged, or whose files may not be replaced,
    // gets a message box beside its failed item (shown from the event loop
    // once the handler that found it has returned); a read that finds the drive unusable (it
    // cannot be set up, its table of contents cannot be read) also reads
    // nothing more: the job waits to be stopped, or with endOnStall stops
    // itself (front ends without a Stop button). Before Start.
    void SetDriveMode(bool endOnStall)
    {
        readBoxes_ = true;
        endOnStall_ = endOnStall;
    }
    bool IsStalled() const { return stalled_; }

    // Takes its own copy of the items and starts the rip of the first.
    void Start(const QStringList& items);
    // The Stop button: every stage under way ends (its partial output is
    // removed, encoder processes are ended), the items under way are
    // reported stopped, and the job closes once they have ended.
    void Stop();

    bool IsClosed() const { return closed_; }
    bool WasStopped() const { return stopped_; }
    const std::vector<TCDRipItem>& Items() const { return items_; }

private:
    enum class Phase { NotBegun, Reading, Waiting, Working, Ended };
    struct TItemState {
        Phase phase = Phase::NotBegun;
        bool told = false;               // reported, or to be reported, through ItemFinished
        QStringList reached;             // the stages the item has reached, in order
        int shown = 0;                   // how many of them the view has shown
        std::unique_ptr<TOutputFile> raw;          // Waiting: the track as read
        std::unique_ptr<TLoudnessMeter> meter;     // Waiting: its measurement
        QString note;                              // Waiting: what went wrong with it already
        // The encoding's latest progress, shown when its stage comes on view
        // later than it began.
        int code = -1;
        QString elapsed, estimated;
        int estimate = -1;
    };

    void schedule();  // the next steps, from the event loop
    void pump();
    bool readerMayStart() const;
    void startRead(int index);
    void readEnded(TTrackReadEnd end);
    void stall();
    void readBox(const QString& text);
    void dispatch();
    void taskDone(int index, const TCDRipTaskEnd& end);
    void finishItem(int index, TJobItemResult::Outcome outcome, const QString& message = {});
    void report();
    void writeAlbum(int last);
    void maybeClose();
    void close();

    // The view.
    void reach(int index, const QString& word);
    void pumpCaptions();
    void showReached(int index);
    void showStage(int index, const QString& word);
    bool onView(int index, const QString& word) const;
    void progress(int index, const QString& word, int code, const QString& elapsed, const QString& estimated);
    void showProgress(int code, const QString& elapsed, const QString& estimated);
    void estimate(int index, int percent);

    QString encodedPath(const TCDRipItem& item) const;

    TCDIn* cdIn_ = nullptr;  // ripper mode only
    TCDRipSettings settings_;
    TJobView& view_;
    TMp3EncodeProcess& lame_;
    TWMAEncodeProcess& wma_;
    TCancelToken cancel_;
    int workers_ = 1;
    bool overlap_ = true;

    std::vector<TCDRipItem> items_;
    std::vector<TItemState> states_;
    TLoudnessAlbum album_;  // before the tasks: they read its meters until they end
    TLoudnessTap loudnessTap_;
    std::unique_ptr<TTrackSource> source_;
    std::vector<std::unique_ptr<TMp3EncodeProcess>> ownLame_;
    std::vector<std::unique_ptr<TWMAEncodeProcess>> ownWma_;
    std::vector<std::unique_ptr<TCDRipTask>> tasks_;
    TBackgroundStep albumStep_;

    int next_ = 0;            // the next item to read
    int reading_ = -1;        // the item being read
    int firstUnended_ = 0;    // every item before it has ended
    int reportNext_ = 0;      // the next item to report
    int cursor_ = -1;         // the item the view shows
    bool started_ = false;
    bool stopped_ = false;
    bool closed_ = false;
    bool scheduled_ = false;
    bool albumRunning_ = false;
    bool readBoxes_ = false;
    bool endOnStall_ = false;
    bool stalled_ = false;
    std::chrono::steady_clock::time_point readStart_{};
    int gauge_ = 0;
};

}  // namespace dw
