#pragma once
// What a running job tells the front end that shows it: the conversion tasks
// and the rip engine both drive one of these, so the progress window
// and the command line draw the same machine and hold no policy of their own.
// Message boxes and questions do not pass through here: the engines ask them
// through platform/Dialogs.
//
// Main thread only: every call comes from the engine's event handling.

#include <QString>
#include <QStringList>

#include <functional>

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

// Passes every call on to another view; after the inner view's Closed() it
// calls closed (the owner of a job learns there that the job has closed).
class TJobViewRelay : public TJobView {
public:
    TJobViewRelay(TJobView& inner, std::function<void()> closed) : inner_(inner), closed_(std::move(closed)) {}
    void StageStarted(const TJobStage& stage) override { inner_.StageStarted(stage); }
    void Heading(const QString& text) override { inner_.Heading(text); }
    void StatusText(const QString& text, bool visible) override { inner_.StatusText(text, visible); }
    void Gauge(int percent) override { inner_.Gauge(percent); }
    void ShowPercent(bool show) override { inner_.ShowPercent(show); }
    void Times(const QString& elapsed, const QString& estimated) override { inner_.Times(elapsed, estimated); }
    void ItemFinished(const TJobItemResult& result) override { inner_.ItemFinished(result); }
    void Closed() override
    {
        inner_.Closed();
        if (closed_)
            closed_();
    }

private:
    TJobView& inner_;
    std::function<void()> closed_;
};

}  // namespace dw
