#include "runner/CDRipTask.h"

#include "app/OutputFormats.h"
#include "app/ScaleWaveVolume.h"
#include "audio/formats/FlacOut.h"
#include "audio/formats/LoudnessMeter.h"
#include "audio/formats/OpusOut.h"
#include "audio/formats/VorbisOut.h"
#include "audio/formats/WaveIn.h"
#include "audio/stream/AuException.h"
#include "jobs/Mp3EncodeProcess.h"
#include "jobs/WMAEncodeProcess.h"
#include "platform/FileSharing.h"
#include "platform/NativePath.h"
#include "platform/OutputFile.h"
#include "runner/LoudnessScan.h"
#include "tags/XiphCommentWriter.h"

// The steps of a ripped track before and after its encoding: normalising
// and keeping the WAV, then tagging and putting the encoded file in place.
// The encoding itself is in CDRipEncode.cpp.

namespace dw {

namespace {

using Outcome = TJobItemResult::Outcome;

// What the step that keeps the WAV hands back to the main thread.
struct TPrepared {
    std::unique_ptr<TOutputFile> raw;     // the track as read
    std::unique_ptr<TOutputFile> wav;     // what is kept: raw, or its normalised copy
    bool stopped = false;
    bool kept = false;                    // wav is in place
    QString error;                        // why wav could not be put in place
    QString note;                         // a failure after which the track still goes on
    bool normalised = false;
    std::unique_ptr<TLoudnessMeter> scaledMeter;
    TLoudness scaledLoudness;
};

}  // namespace

TCDRipTask::TCDRipTask(const TCDRipSettings& settings, const TCancelToken& cancel, TMp3EncodeProcess& lame,
                       TWMAEncodeProcess& wma, Events events)
    : settings_(settings), cancel_(cancel), lame_(lame), wma_(wma), events_(std::move(events)),
      waveIn_(std::make_unique<TWaveIn>())
{
    switch (settings_.OutputFormat) {
    case TOutputFormat::Flac: streamOut_ = std::make_unique<TFlacOut>(); break;
    case TOutputFormat::Opus: streamOut_ = std::make_unique<TOpusOut>(); break;
    case TOutputFormat::Ogg: streamOut_ = std::make_unique<TVorbisOut>(); break;
    default: break;
    }
    if (streamOut_) {
        streamOut_->SetInput(waveIn_.get());
        streamOut_->SetFileMode(foRewrite);
        streamOut_->OnProgress = [this](TAuOutput* o) { streamProgress(o->Progress()); };
        streamOut_->OnThreadException = [this](TAuOutput* o) { failure_ = o->GetExceptionMessage(); };
        streamOut_->OnDone = [this](TAuOutput*) {
            if (busy_ && encoder_ == Encoder::Stream)
                encodeDone(failure_.isEmpty(), failure_);
        };
    }
    wmaTimer_.setInterval(1000);
    QObject::connect(&wmaTimer_, &QTimer::timeout, this, [this] { wmaTick(); });
}

TCDRipTask::~TCDRipTask()
{
    wmaTimer_.stop();
    if (lame_.Running && lame_.NotifyWindow == this)
        lame_.Kill(0);
    if (wma_.Running && wma_.NotifyWindow == this)
        wma_.Kill(0);
    // The writer's worker is parked before the reader it pulls from goes.
    streamOut_.reset();
    waveIn_.reset();
}

void TCDRipTask::note(const QString& text)
{
    if (!text.isEmpty())
        note_ = note_.isEmpty() ? text : note_ + QStringLiteral("; ") + text;
}

void TCDRipTask::Start(const TCDRipTaskTrack& track, std::unique_ptr<TOutputFile> raw,
                       std::unique_ptr<TLoudnessMeter> meter, const QString& readNote)
{
    busy_ = true;
    ++generation_;
    track_ = track;
    encoder_ = Encoder::None;
    note_ = readNote;
    failure_.clear();
    outputs_.clear();
    loudness_ = {};
    itemMeter_ = nullptr;
    meter_ = std::move(meter);
    const bool normalise = settings_.Rip.IsNormalize;
    if (normalise)
        events_.stage(track_.index, QStringLiteral("Normalizing"));

    // Normalising reads and writes the whole file, and putting a file in
    // place flushes it to disk: both run on the task's thread.
    auto state = std::make_shared<TPrepared>();
    state->raw = std::move(raw);
    const QString wavFile = track_.wavFile;
    const int percent = settings_.Rip.NormalizePercent;
    const bool measure = settings_.ReplayGain;
    const bool overwrite = settings_.Rip.Overwrite;
    const TCancelToken cancel = cancel_;
    const int gen = generation_;
    step_.Run([=, this]() -> TBackgroundStep::Then {
        TPrepared& s = *state;
        if (normalise) {
            auto scaled = std::make_unique<TOutputFile>(wavFile);
            QString failure;
            if (!scaled->Create()) {
                failure = scaled->Error();
            } else {
                try {
                    s.stopped = !ScaleWaveInto(percent, s.raw->TempPath(), *scaled,
                                               [&cancel](int64_t, int64_t) { return !cancel.IsCancelled(); });
                } catch (const IoError& e) {
                    failure = QString::fromUtf8(e.what());
                }
            }
            if (!s.stopped && failure.isEmpty()) {
                // The scaled copy is what gets encoded: its loudness is the track's.
                s.normalised = true;
                if (measure) {
                    try {
                        // A measurement cut short by a stop counts for
                        // nothing; the normalised track is whole all the same.
                        if (!MeasureWaveFile(scaled->TempPath(), s.scaledLoudness, s.scaledMeter, *cancel.Flag())) {
                            s.scaledMeter.reset();
                            s.scaledLoudness = {};
                        }
                    } catch (const std::exception& e) {
                        s.scaledMeter.reset();
                        s.scaledLoudness = {};
                        s.note = wavFile + QStringLiteral(": ") + ExceptionText(e)
                                 + QStringLiteral(" (the track's loudness was not measured)");
                    }
                }
                s.wav = std::move(scaled);
            } else if (!failure.isEmpty()) {
                // A failed normalise does not cost the track: it goes on as read.
                s.note = failure + QStringLiteral(" (the track was not normalised)");
            }
        }
        if (!s.wav)
            s.wav = std::move(s.raw);
        // A track read whole (and normalised whole, when asked) stays, even
        // when the job was stopped meanwhile.
        if (!s.stopped) {
            s.kept = s.wav->Commit(overwrite);
            if (!s.kept)
                s.error = s.wav->Error();
        }
        return [this, state, gen] {
            if (gen != generation_)
                return;
            TPrepared& p = *state;
            p.raw.reset();
            if (!p.kept && (p.stopped || cancel_.IsCancelled())) {
                end(Outcome::Stopped);  // the track's files go with p
                return;
            }
            if (!p.kept) {
                end(Outcome::Failed, p.error);
                return;
            }
            note(p.note);
            if (p.normalised && settings_.ReplayGain) {
                // The normalised copy's measurement replaces the rip's.
                meter_ = std::move(p.scaledMeter);
                loudness_ = p.scaledLoudness;
            }
            // The track is ripped whole: it is part of the album.
            TLoudnessMeter* kept = meter_.get();
            events_.wavKept(track_.index, std::move(meter_));
            itemMeter_ = kept;
            if (FormatInfo(settings_.OutputFormat).encoder == TFormatEncoder::None) {
                outputs_ << track_.wavFile;
                end(note_.isEmpty() ? Outcome::Done : Outcome::Failed, note_);
                return;
            }
            if (cancel_.IsCancelled()) {
                outputs_ << track_.wavFile;
                end(Outcome::Stopped);
                return;
            }
            startEncode();
        };
    });
}

void TCDRipTask::finishStep()
{
    // Tags go into the temporary file; then it is put in place and the WAV
    // goes (unless kept), all on the task's thread.
    const QString temp = encodedFile_->TempPath();
    const QString target = encodedPath();
    auto file = std::shared_ptr<TOutputFile>(std::move(encodedFile_));
    const int gen = generation_;
    step_.Run([=, this]() -> TBackgroundStep::Then {
        // A normalised track was measured after scaling; its meter is done.
        TLoudness loudness = loudness_;
        if (settings_.ReplayGain && itemMeter_)
            loudness = itemMeter_->Result();
        QString problems;
        auto add = [&problems](const QString& text) {
            if (!text.isEmpty())
                problems = problems.isEmpty() ? text : problems + QStringLiteral("; ") + text;
        };
        if (settings_.OutputFormat == TOutputFormat::Mp3) {
            add(mp3Tags(temp));
        } else if (settings_.ReplayGain) {
            // Opus files carry R128 gains instead of REPLAYGAIN_* values.
            const TTagValues values =
                settings_.OutputFormat == TOutputFormat::Opus ? R128Tags(loudness) : ReplayGainTags(loudness);
            QString error;
            if (!values.empty() && !WriteXiphCommentsInPlace(temp, values, &error))
                add(error.replace(temp, target));
        }
        bool committed = false;
        QString failure;
        if (!cancel_.IsCancelled()) {
            committed = file->Commit(settings_.Rip.Overwrite);
            if (!committed) {
                failure = file->Error();
                failure.replace(temp, target);
                if (!failure.contains(target))
                    failure = target + QStringLiteral(": ") + failure;
            }
        }
        bool wavStays = true;
        if (committed)
            wavStays = settings_.IsKeepWav || FileInUse(track_.wavFile) || !RemoveFile(track_.wavFile);
        return [this, file, gen, committed, failure, problems, loudness, wavStays, target] {
            if (gen != generation_)
                return;
            loudness_ = settings_.ReplayGain ? loudness : TLoudness{};
            if (!committed) {
                // The ripped WAV stays: it is all the user has of the track.
                outputs_ << track_.wavFile;
                if (failure.isEmpty())
                    end(Outcome::Stopped);
                else
                    end(Outcome::Failed, failure);
                return;
            }
            outputs_ << target;
            if (wavStays)
                outputs_ << track_.wavFile;
            note(problems);
            end(note_.isEmpty() ? Outcome::Done : Outcome::Failed, note_);
        };
    });
}

void TCDRipTask::end(Outcome outcome, const QString& message)
{
    wmaTimer_.stop();
    encoder_ = Encoder::None;
    busy_ = false;
    ++generation_;
    encodedFile_.reset();
    meter_.reset();
    itemMeter_ = nullptr;
    TCDRipTaskEnd e;
    e.outcome = outcome;
    e.message = outcome == Outcome::Stopped ? QStringLiteral("stopped") : message;
    e.outputs = outputs_;
    e.loudness = loudness_;
    const int index = track_.index;
    // Told from the event loop, never from inside the call that ended it.
    QMetaObject::invokeMethod(
        this, [this, index, e] { events_.done(index, e); }, Qt::QueuedConnection);
}

}  // namespace dw
