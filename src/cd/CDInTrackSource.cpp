#include "cd/CDInTrackSource.h"

#include "app/ResourceText.h"
#include "audio/formats/WaveOut.h"
#include "audio/stream/AuConverter.h"
#include "audio/stream/AuException.h"
#include "cd/CDIn.h"
#include "platform/NativePath.h"
#include "platform/OutputFile.h"

#include <QMetaObject>

#include <algorithm>

namespace dw {

// Hands on exactly what it reads, after showing it to the taps; a cancelled
// read ends at the next block as if the track had ended there (the source
// then drops the file).
class TCDInTrackSource::TapStage : public TAuConverter {
public:
    explicit TapStage(TCDInTrackSource& owner) : owner_(owner) {}

protected:
    void DoInit() override
    {
        if (!Input)
            throw EAuException("Input not assigned");
        Input->Init();
        Busy = true;
        Size = Input->GetSize();
        Position = 0;
    }
    void DoFlush() override
    {
        if (Input)
            Input->Flush();
        Busy = false;
    }
    void DoGetData(void*& buffer, uint32_t& bytes) override
    {
        if (!Busy || !Input)
            throw EAuException("The Stream is not opened");
        Input->GetData(buffer, bytes);
    }
    void ReadFromSource(void*& buffer, uint32_t& bytes) override
    {
        if (owner_.cancel_.IsCancelled()) {
            EndOfData = true;
            buffer = nullptr;
            bytes = 0;
            return;
        }
        TAuConverter::ReadFromSource(buffer, bytes);
        if (bytes > 0)
            owner_.tapsBlock(static_cast<const uint8_t*>(buffer), bytes);
    }

private:
    TCDInTrackSource& owner_;
};

namespace {

TJobFailure discFailure(const QString& why)
{
    return {TJobFailure::Kind::Read, {}, ResourceText(res::ReadCDAudioError) + QStringLiteral(" (") + why + QLatin1Char(')')};
}

}  // namespace

TCDInTrackSource::TCDInTrackSource(TCDIn& cdIn)
    : cdIn_(cdIn), stage_(std::make_unique<TapStage>(*this)), out_(std::make_unique<TWaveOut>())
{
    out_->SetWavType(wtPCM);
    out_->SetBlockSize(512);
    out_->SetFileMode(foRewrite);
    stage_->SetInput(&cdIn_);
    out_->SetInput(stage_.get());
    out_->OnProgress = [this](TAuOutput* out) {
        if (reading_)
            progress(std::max(out->Progress(), 0));
    };
    out_->OnThreadException = [this](TAuOutput* out) { failure_ = out->GetExceptionMessage(); };
    out_->OnDone = [this](TAuOutput*) {
        if (reading_)
            ended();
    };
}

TCDInTrackSource::~TCDInTrackSource()
{
    // The writer's worker is parked before the stage it reads goes.
    out_.reset();
    stage_.reset();
}

void TCDInTrackSource::fail(TJobFailure failure)
{
    reading_ = true;
    QMetaObject::invokeMethod(
        &context_,
        [this, failure] {
            reading_ = false;
            tapsEnd(false);
            tell(TTrackReadEnd{TTrackReadEnd::Outcome::Failed, failure, nullptr});
        },
        Qt::QueuedConnection);
}

void TCDInTrackSource::Read(const TTrackRead& what, const TCancelToken& cancel)
{
    what_ = what;
    cancel_ = cancel;
    failure_.clear();
    tapsBegin(what.Track);
    if (!firstTrack_)
        firstTrack_ = cdIn_.FirstTrackNumber();
    // The component counts the disc's tracks from 1.
    const int32_t track = what.Track - *firstTrack_ + 1;
    try {
        cdIn_.SetStartTrack(track);
        cdIn_.SetEndTrack(track);
        if (what.Cut) {
            // The end may lie beyond the track: the rip then runs on into the next.
            const int t = std::max(what.CutSeconds, 0);
            cdIn_.SetStartPos(TCDPosition{track, 0, 0, 0});
            cdIn_.SetEndPos(TCDPosition{track, uint8_t(std::min(t / 60, 255)), uint8_t(t % 60), 0});
        }
    } catch (const std::exception& e) {
        fail(discFailure(ExceptionText(e)));
        return;
    }
    // The writer fills a temporary file of ours; only the whole track is
    // handed over.
    wav_ = std::make_unique<TOutputFile>(what.WavFile);
    if (!wav_->Create() || !wav_->Close()) {
        const QString error = wav_->Error();
        wav_.reset();
        fail({TJobFailure::Kind::Write, {}, error});
        return;
    }
    out_->SetFileName(wav_->TempPath());
    reading_ = true;
    try {
        out_->Run();
    } catch (const std::exception& e) {
        // As a run that ended at once: told from the event loop.
        failure_ = ExceptionText(e);
        QMetaObject::invokeMethod(&context_, [this] { if (reading_) ended(); }, Qt::QueuedConnection);
    }
}

void TCDInTrackSource::ended()
{
    reading_ = false;
    out_->SetFileName(QString());
    std::unique_ptr<TOutputFile> wav = std::move(wav_);
    TTrackReadEnd end;
    if (cancel_.IsCancelled()) {
        // Whatever was written goes with the file object.
        end.outcome = TTrackReadEnd::Outcome::Stopped;
    } else if (!failure_.isEmpty()) {
        QString why = failure_;
        why.replace(wav->TempPath(), what_.WavFile);
        const TCDInFailure kind = cdIn_.LastFailure();
        if (kind == TCDInFailure::Unreadable)
            // Reading had begun: the track's file is the one cut short.
            end.failure = discFailure(what_.WavFile + QStringLiteral(": ") + why);
        else if (kind != TCDInFailure::None)
            end.failure = discFailure(why);
        else
            end.failure = {TJobFailure::Kind::Write, {},
                           why.contains(what_.WavFile) ? why : what_.WavFile + QStringLiteral(": ") + why};
    } else if (StatPath(wav->TempPath()).size <= 44) {
        end.failure = discFailure(QStringLiteral("there is no audio to rip in track %1").arg(what_.Track));
    } else {
        end.outcome = TTrackReadEnd::Outcome::Ripped;
        end.wav = std::move(wav);
    }
    tapsEnd(end.outcome == TTrackReadEnd::Outcome::Ripped);
    tell(std::move(end));
}

}  // namespace dw
