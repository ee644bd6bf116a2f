#pragma once
// What a running job tells the front end that shows it: the job runner and
// the ripper-mode rip engine both drive one of these, so the progress window
// and the command line draw the same machine and hold no policy of their own.
// Message boxes and questions do not pass through here: the engines ask them
// through platform/Dialogs.
//
// Main thread only: every call comes from the engine's event handling.

#include <QString>
#include <QStringList>

namespace dw {

// One stage of one item, as the window's caption shows it:
// word + "(" + NN + "/" + MM + "): " + name.
struct TJobStage {
    QString word;    // "Extracting", "Normalizing", "Resampling", "Encoding", "Decoding"
    int number = 0;  // 1-based number of the item
    int count = 0;   // items in the job
    QString name;    // the track title (CD jobs) or the item's path
    QString Caption() const;
};

// How one item of a job ended (for summaries and --json; the window itself
// shows only the messages the engine raises).
struct TJobItemResult {
    enum class Outcome { Done, Failed, Skipped, Stopped };
    int index = 0;          // 0-based item index
    QString name;           // as in TJobStage::name
    QStringList outputs;    // the files this item left behind (complete ones only)
    Outcome outcome = Outcome::Done;
    QString message;        // for Failed/Skipped: what went wrong, naming the file and the reason
};

class TJobView {
public:
    virtual ~TJobView() = default;
    virtual void StageStarted(const TJobStage& stage) {}
    virtual void Heading(const QString& text) {}                // group box heading
    virtual void StatusText(const QString& text, bool visible) {}  // "Initializing...", "Extracting..."
    virtual void Gauge(int percent) {}                          // 0..100
    virtual void ShowPercent(bool show) {}
    virtual void Times(const QString& elapsed, const QString& estimated) {}
    virtual void ItemFinished(const TJobItemResult& result) {}
    // The job ended (finished, stopped or closed); the window closes.
    virtual void Closed() {}
};

}  // namespace dw
