#include "cd/TrackRipJob.h"

#include "app/FileNames.h"
#include "app/Helpers.h"
#include "app/ResourceText.h"
#include "app/ScaleWaveVolume.h"
#include "audio/formats/WaveOut.h"
#include "cd/CDIn.h"
#include "cd/RippedFile.h"
#include "platform/NativePath.h"
#include "platform/OutputFile.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>

namespace dw {

namespace {

using Clock = std::chrono::steady_clock;

QString RipErrorMessage(int code)
{
    switch (code) {
    case RIP_ERROR_DRIVE_PARAMS: return ResourceText(res::ModifyCDParmsError);
    case RIP_ERROR_READ_TOC: return ResourceText(res::ReadTocError);
    default: return ResourceText(res::CreateFileError);
    }
}

}  // namespace

std::optional<TRipItem> ParseRipItem(const QString& item)
{
    if (item.size() < 2 || !item[0].isDigit() || !item[1].isDigit())
        return std::nullopt;
    const int track = item.left(2).toInt();
    if (track < 1)
        return std::nullopt;
    return TRipItem{track, item.mid(2)};
}

TTrackRipJob::TTrackRipJob(TRipMode mode, int cdHandle, TCDIn* cdIn, TRipSettings settings, TRipJobView* view)
    : mode_(mode), cdHandle_(cdHandle), cdIn_(cdIn), settings_(std::move(settings)), view_(view)
{
}

TTrackRipJob::~TTrackRipJob() = default;

std::vector<TRipTrackResult> TTrackRipJob::Run(const QStringList& items)
{
    std::vector<TRipTrackResult> results;
    QString jobEnded;  // message of a failure that ended the job
    if (mode_ == TRipMode::Ripper && cdIn_) {
        // The component may have been left running; the tray stays locked
        // while ripping.
        cdIn_->Reset();
        cdIn_->LockTray = true;
        firstTrack_ = cdIn_->FirstTrackNumber();
    }
    // One file per track: titles that name the same file (or none) are
    // told apart before anything is written.
    std::vector<std::optional<TRipItem>> parsed;
    std::vector<TTitledTrack> titled;
    for (const QString& text : items) {
        parsed.push_back(ParseRipItem(text));
        if (parsed.back())
            titled.push_back({parsed.back()->Track, parsed.back()->Title});
    }
    const QStringList stems = UniqueFileStems(titled);
    // A cut of zero seconds would make every track empty.
    const bool emptyCut = settings_.EnableRipTime && settings_.RipTime <= 0;

    qsizetype nextStem = 0;
    for (int i = 0; i < items.size(); ++i) {
        TRipTrackResult r;
        const std::optional<TRipItem>& item = parsed[size_t(i)];
        r.Track = item ? item->Track : 0;
        r.Title = item ? stems.at(nextStem++) : items[i];
        if (item)
            r.FileName = WithTrailingBackslash(settings_.OutputFolder) + r.Title + QStringLiteral(".wav");
        if (!jobEnded.isEmpty() || stopped_) {
            r.Stopped = jobEnded.isEmpty();
            r.Message = jobEnded.isEmpty() ? QStringLiteral("stopped") : jobEnded;
            results.push_back(r);
            continue;
        }
        if (view_)
            view_->TrackStarted(i, int(items.size()), r);
        if (!item) {
            r.Message = ResourceText(res::ReadCDAudioError);
            r.Detail = QStringLiteral("the job item does not begin with a track number");
        } else if (emptyCut) {
            r.Message = ResourceText(res::Select_0);
        } else if (mode_ == TRipMode::Drive) {
            if (!ripWithThread(r))
                jobEnded = r.Message;
        } else {
            ripWithCdIn(r);
        }
        if (view_)
            view_->TrackFinished(r);
        results.push_back(r);
    }
    return results;
}

void TTrackRipJob::jobEvent(std::unique_ptr<TProcessInfo> info)
{
    if (info->Code == JOB_RIP_DONE) {
        trackDone_ = true;
        doneResult_ = info->Result;
        if (loop_)
            loop_->quit();
    } else if (info->Code == JOB_NORMALIZING) {
        if (view_)
            view_->Normalizing();
    } else if (!IsJobEventCode(info->Code)) {
        if (view_)
            view_->Progress(info->Code, info->Elapsed, info->Estimated);
    }
    // A stop asked for by the view reaches the thread at once.
    if (stopped_ && thread_)
        thread_->Stopped = true;
}

void TTrackRipJob::ripError(int code)
{
    ripError_ = code;
    if (loop_)
        loop_->quit();
}

bool TTrackRipJob::ripWithThread(TRipTrackResult& result)
{
    trackDone_ = false;
    doneResult_ = 0;
    ripError_ = 0;
    TCDRipThread thread(result.Track, result.Title);
    thread.Settings = settings_;
    thread.CDHandle = cdHandle_;
    thread.NotifyWindow = this;
    thread_ = &thread;
    thread.Resume();

    QEventLoop loop;
    QTimer poll;
    bool threadGone = false;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (stopped_)
            thread.Stopped = true;
        if (thread.IsFinished()) {
            // Everything the thread posted is delivered before judging.
            QCoreApplication::sendPostedEvents(this);
            threadGone = true;
        }
        if (trackDone_ || ripError_ != 0 || threadGone)
            loop.quit();
    });
    poll.start(20);
    loop_ = &loop;
    if (!trackDone_ && ripError_ == 0)
        loop.exec();
    loop_ = nullptr;
    thread_ = nullptr;
    poll.stop();
    // Stopping, or waiting for a thread that already finished, is quick.
    thread.Stopped = thread.Stopped || !trackDone_;

    if (ripError_ != 0) {
        result.Message = RipErrorMessage(ripError_);
        return false;
    }
    if (!trackDone_) {
        result.Stopped = true;
        result.Message = QStringLiteral("stopped");
        return true;
    }
    switch (doneResult_) {
    case RIP_RESULT_OK:
        result.Ripped = true;
        break;
    case RIP_RESULT_CREATE_FAILED:
        // The thread names the file and the system's reason.
        result.Message = thread.ErrorText();
        if (result.Message.isEmpty())
            result.Message = result.FileName + ResourceText(res::CreateWavFileError);
        break;
    default:
        result.Message = ResourceText(res::ReadCDAudioError);
        result.Detail = thread.ErrorText();
        break;
    }
    return true;
}

void TTrackRipJob::ripWithCdIn(TRipTrackResult& result)
{
    if (!cdIn_) {
        result.Message = ResourceText(res::ReadCDAudioError);
        return;
    }
    QString why;
    if (OutputTaken(result.FileName, settings_, why)) {
        result.Message = why;
        return;
    }
    // The component counts the disc's tracks from 1.
    const int32_t index = result.Track - firstTrack_ + 1;
    try {
        cdIn_->SetStartTrack(index);
        cdIn_->SetEndTrack(index);
        if (settings_.EnableRipTime) {
            const int t = std::max(settings_.RipTime, 0);
            cdIn_->SetStartPos(TCDPosition{index, 0, 0, 0});
            cdIn_->SetEndPos(TCDPosition{index, uint8_t(std::min(t / 60, 255)), uint8_t(t % 60), 0});
        }
    } catch (const std::exception& e) {
        result.Message = ResourceText(res::ReadCDAudioError);
        result.Detail = QString::fromUtf8(e.what());
        return;
    }

    // The writer fills a temporary file of ours in the output folder; only
    // the whole track is renamed to its file name.
    TOutputFile file(result.FileName);
    if (!file.Create() || !file.Close()) {
        result.Message = file.Error();
        return;
    }

    // One writer serves every track of the job, as the rip window's does.
    if (!waveOut_) {
        waveOut_ = std::make_unique<TWaveOut>();
        waveOut_->SetWavType(wtPCM);
        waveOut_->SetBlockSize(512);
        waveOut_->SetFileMode(foRewrite);
    }
    TWaveOut& out = *waveOut_;
    out.SetFileName(file.TempPath());
    out.SetInput(cdIn_);
    QEventLoop loop;
    bool done = false;
    QString failure;
    const Clock::time_point start = Clock::now();
    out.OnProgress = [&](TAuOutput* sender) {
        if (!view_)
            return;
        const int code = sender->Progress();
        const std::unique_ptr<TProcessInfo> info = MakeProgressInfo(code, RoundedSeconds(Clock::now() - start));
        view_->Progress(code, info->Elapsed, info->Estimated);
    };
    out.OnThreadException = [&](TAuOutput* sender) { failure = sender->GetExceptionMessage(); };
    out.OnDone = [&](TAuOutput*) {
        done = true;
        loop.quit();
    };
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (stopped_ && out.IsBusy())
            out.Stop(true);
    });
    try {
        out.Run();
    } catch (const std::exception& e) {
        failure = QString::fromUtf8(e.what());
        done = true;
    }
    if (!done) {
        poll.start(20);
        loop.exec();
        poll.stop();
    }
    out.OnProgress = nullptr;
    out.OnThreadException = nullptr;
    out.OnDone = nullptr;
    out.SetFileName(QString());

    if (!failure.isEmpty()) {
        // The temporary file goes with `file`. A failure of the writer names
        // the temporary file; the user knows the track's name.
        failure.replace(file.TempPath(), result.FileName);
        if (cdIn_->LastFailure() != TCDInFailure::None) {
            result.Message = ResourceText(res::ReadCDAudioError);
            result.Detail = failure;
        } else {
            result.Message = failure.contains(result.FileName) ? failure : result.FileName + QStringLiteral(": ") + failure;
        }
        return;
    }
    if (stopped_) {
        result.Stopped = true;
        result.Message = QStringLiteral("stopped");
        return;
    }
    const TPathInfo written = StatPath(file.TempPath());
    if (written.size <= 44) {
        result.Message = ResourceText(res::ReadCDAudioError);
        result.Detail = QStringLiteral("there is no audio to rip in track %1").arg(result.Track);
        return;
    }
    const TFinishStatus status = FinishRippedFile(
        file, settings_, [&](int64_t, int64_t) { return !stopped_.load(); }, why,
        [&] {
            if (view_)
                view_->Normalizing();
        });
    if (status == TFinishStatus::Stopped) {
        result.Stopped = true;
        result.Message = QStringLiteral("stopped");
        return;
    }
    if (status == TFinishStatus::Failed) {
        result.Message = why;
        return;
    }
    result.Ripped = true;
}

}  // namespace dw
