#include "cd/DriveTrackSource.h"

#include "app/JobEvents.h"
#include "app/ResourceText.h"
#include "cd/CDRipThread.h"
#include "platform/OutputFile.h"

#include <algorithm>

namespace dw {

class TDriveTrackSource::Receiver : public JobEventReceiver {
public:
    explicit Receiver(TDriveTrackSource& owner) : owner_(owner) {}
    void jobEvent(std::unique_ptr<TProcessInfo> info) override
    {
        if (info->Code == JOB_RIP_DONE)
            owner_.ripDone(info->Result);
        else if (!IsJobEventCode(info->Code))
            owner_.progressCode(info->Code);
    }
    void ripError(int code) override { owner_.ripError(code); }

private:
    TDriveTrackSource& owner_;
};

namespace {

TJobFailure discFailure(const QString& why)
{
    return {TJobFailure::Kind::Read, {}, ResourceText(res::ReadCDAudioError) + QStringLiteral(" (") + why + QLatin1Char(')')};
}

}  // namespace

TDriveTrackSource::TDriveTrackSource(int cdHandle) : cdHandle_(cdHandle)
{
    stopPoll_.setInterval(20);
    QObject::connect(&stopPoll_, &QTimer::timeout, [this] { checkStopped(); });
}

TDriveTrackSource::~TDriveTrackSource()
{
    onCancel_.reset();
    if (thread_)
        thread_->StopAndWait();
}

void TDriveTrackSource::Read(const TTrackRead& what, const TCancelToken& cancel)
{
    cancel_ = cancel;
    track_ = what.Track;
    wavFile_ = what.WavFile;
    tapsBegin(what.Track);
    const qsizetype slash = what.WavFile.lastIndexOf(QLatin1Char('/'));
    QString name = what.WavFile.mid(slash + 1);
    if (name.endsWith(QStringLiteral(".wav")))
        name.chop(4);
    TRipSettings settings;
    settings.OutputFolder = what.WavFile.left(slash + 1);
    settings.EnableRipTime = what.Cut;
    settings.RipTime = what.CutSeconds;
    settings.Overwrite = true;  // the caller decides about an existing file when it commits
    // A receiver per read: what an earlier thread still had posted goes with
    // the old one.
    receiver_ = std::make_unique<Receiver>(*this);
    thread_ = std::make_unique<TCDRipThread>(what.Track, name, settings);
    thread_->CDHandle = cdHandle_;
    thread_->NotifyWindow = receiver_.get();
    thread_->HandOver = true;
    thread_->OnBlock = [this](const uint8_t* data, size_t bytes) { tapsBlock(data, bytes); };
    TCDRipThread* running = thread_.get();
    // The end of a stopped thread is looked for only once it was stopped: a
    // timer running through every read would wake the main thread 50 times a
    // second for nothing. The callback may run on any thread; the timer is
    // started on its own.
    QTimer* poll = &stopPoll_;
    onCancel_ = std::make_unique<TCancelCallback>(cancel_, [running, poll] {
        running->Stopped = true;
        QMetaObject::invokeMethod(poll, qOverload<>(&QTimer::start), Qt::QueuedConnection);
    });
    thread_->Resume();
}

void TDriveTrackSource::end(TTrackReadEnd result)
{
    stopPoll_.stop();
    onCancel_.reset();
    // The thread has posted its last event: it ends at once.
    std::unique_ptr<TCDRipThread> thread = std::move(thread_);
    if (thread)
        thread->StopAndWait();
    if (cancel_.IsCancelled()) {
        result.outcome = TTrackReadEnd::Outcome::Stopped;
        result.failure = {};
        result.wav.reset();
    }
    tapsEnd(result.outcome == TTrackReadEnd::Outcome::Ripped);
    tell(std::move(result));
}

void TDriveTrackSource::checkStopped()
{
    if (!thread_)
        stopPoll_.stop();  // started late, after the read had ended
    else if (cancel_.IsCancelled() && thread_->IsFinished())
        end(TTrackReadEnd{TTrackReadEnd::Outcome::Stopped, {}, nullptr});
}

void TDriveTrackSource::ripDone(int result)
{
    if (!thread_)
        return;
    TTrackReadEnd r;
    if (result == RIP_RESULT_OK) {
        r.wav = thread_->TakeRipped();
        r.outcome = r.wav ? TTrackReadEnd::Outcome::Ripped : TTrackReadEnd::Outcome::Failed;
    } else if (result == RIP_RESULT_READ_FAILED) {
        QString why = thread_->ErrorText();
        if (why.isEmpty())
            why = QStringLiteral("track %1: the disc could not be read").arg(track_);
        r.failure = discFailure(why);
        r.notice = ResourceText(res::ReadCDAudioError) + QLatin1Char('\n') + why;
    } else {
        QString why = thread_->ErrorText();
        if (why.isEmpty())
            why = wavFile_ + QStringLiteral(": the file could not be created");
        r.failure = {TJobFailure::Kind::Write, {}, why};
        r.notice = wavFile_ + ResourceText(res::CreateWavFileError) + QLatin1Char('\n') + why;
    }
    end(std::move(r));
}

void TDriveTrackSource::ripError(int code)
{
    if (!thread_)
        return;
    const bool setUp = code == RIP_ERROR_DRIVE_PARAMS;
    TTrackReadEnd r{TTrackReadEnd::Outcome::Failed,
                    discFailure(setUp ? QStringLiteral("the drive could not be set up")
                                      : QStringLiteral("the table of contents could not be read")),
                    nullptr};
    r.stalled = true;
    r.notice = ResourceText(setUp ? res::ModifyCDParmsError : res::ReadTocError);
    end(std::move(r));
}

void TDriveTrackSource::progressCode(int code)
{
    if (thread_)
        progress(std::clamp(code, 0, 100));
}

}  // namespace dw
