#include "runner/JobRunner.h"

#include "app/Helpers.h"
#include "app/OutputFormats.h"
#include "app/ResourceText.h"
#include "app/Settings.h"
#include "audio/formats/FastResampler.h"
#include "audio/formats/FlacOut.h"
#include "audio/formats/LoudnessMeasure.h"
#include "audio/formats/OpusOut.h"
#include "audio/formats/VorbisConvert.h"
#include "audio/formats/VorbisOut.h"
#include "audio/formats/WaveConversion.h"
#include "audio/formats/WaveIn.h"
#include "audio/formats/WaveOut.h"
#include "audio/stream/AuException.h"
#include "cd/CDRipThread.h"
#include "cd/RippedFile.h"
#include "jobs/ChildProcess.h"
#include "jobs/EncoderCommandLines.h"
#include "jobs/Mp3EncodeProcess.h"
#include "jobs/WMAEncodeProcess.h"
#include "jobs/WmaProfiles.h"
#include "platform/Dialogs.h"
#include "platform/FileSharing.h"
#include "platform/NativePath.h"
#include "platform/OutputFile.h"
#include "runner/CDRipFlacOpus.h"
#include "runner/EncodedTags.h"
#include "runner/JobTags.h"
#include "runner/JobWmaEstimate.h"
#include "runner/LoudnessScan.h"
#include "tags/XiphCommentWriter.h"

#include <QFileInfo>
#include <QMetaObject>

#include <optional>

namespace dw {

namespace {

constexpr int kResampleRate = 44100;
constexpr int kWmaTimerMs = 1000;

using Outcome = TJobItemResult::Outcome;

// Deletes a file when it exists and nobody holds it; otherwise leaves it.
void deleteFile(const QString& path)
{
    if (!path.isEmpty() && StatPath(path).exists && !FileInUse(path))
        RemoveFile(path);
}

// Whether a CD job's OutputFormat encodes the ripped WAV (MP3, OGG, WMA,
// FLAC, Opus) rather than keeping it as the output.
bool encodesAfterRip(TOutputFormat format) { return FormatInfo(format).encoder != TFormatEncoder::None; }

// Whether a job of this kind writes files that carry loudness values: MP3,
// Ogg Vorbis, FLAC and Opus outputs (not WAV, not WMA).
bool measuresLoudness(TJobKind kind, TOutputFormat format)
{
    switch (kind) {
    case jkRipTracks: return FormatInfo(format).replayGain;
    case jkWavToMp3:
    case jkRecordingToMp3:
    case jkWavToOgg:
    case jkToFlac:
    case jkToOpus: return true;
    default: return false;
    }
}

QString joined(const QString& a, const QString& b)
{
    return a.isEmpty() ? b : b.isEmpty() ? a : a + QStringLiteral("; ") + b;
}

}  // namespace

TJobRunner::TJobRunner(TJobKind kind, int cdHandle, QStringList items, TJobView& view, TJobEncoders encoders)
    : kind_(kind), cdHandle_(cdHandle), items_(ResolveJobItems(kind, items, StoredOutputFormat(AppSettings.OutputFormat))), view_(view)
{
    count_ = int(items_.size());
    for (int i = 0; i < count_; ++i)
        numbers_.push_back(i + 1);
    if (!encoders.lame)
        ownLame_ = std::make_unique<TMp3EncodeProcess>();
    if (!encoders.wma)
        ownWma_ = std::make_unique<TWMAEncodeProcess>();
    lame_ = encoders.lame ? encoders.lame : ownLame_.get();
    wma_ = encoders.wma ? encoders.wma : ownWma_.get();

    waveIn_ = std::make_unique<TWaveIn>();
    resampler_ = std::make_unique<TFastResampler>();
    resampler_->SetInput(waveIn_.get());
    resampler_->SetOutSampleRate(kResampleRate);
    waveOut_ = std::make_unique<TWaveOut>();
    waveOut_->SetInput(resampler_.get());
    waveOut_->SetWavType(wtPCM);
    waveOut_->SetBlockSize(512);
    waveOut_->SetCreateNonMsHeaders(true);
    waveOut_->SetFileMode(foRewrite);
    vorbisOut_ = std::make_unique<TVorbisOut>();
    vorbisOut_->SetInput(waveIn_.get());
    vorbisOut_->SetCompression(0.2f);
    vorbisOut_->SetFileMode(foRewrite);
    vorbisOut_->SetSerial(0);
    flacOut_ = std::make_unique<TFlacOut>();
    flacOut_->SetInput(waveIn_.get());
    flacOut_->SetFileMode(foRewrite);
    opusOut_ = std::make_unique<TOpusOut>();
    opusOut_->SetInput(waveIn_.get());
    opusOut_->SetFileMode(foRewrite);

    waveOut_->OnProgress = [this](TAuOutput* o) { outputProgress(o); };
    waveOut_->OnThreadException = [this](TAuOutput* o) { outputFailed(o); };
    // The end of the resampling is handled before its done event returns; the
    // end of a stream encoding is posted like every other completion.
    waveOut_->OnDone = [this](TAuOutput*) { SendJobEvent(this, MakeProcessInfo(JOB_RESAMPLE_DONE)); };
    for (TAuOutput* encoder : {static_cast<TAuOutput*>(vorbisOut_.get()), static_cast<TAuOutput*>(flacOut_.get()),
                               static_cast<TAuOutput*>(opusOut_.get())}) {
        encoder->OnProgress = [this](TAuOutput* o) { outputProgress(o); };
        encoder->OnThreadException = [this](TAuOutput* o) { outputFailed(o); };
        encoder->OnDone = [this](TAuOutput*) { PostJobEvent(this, MakeProcessInfo(JOB_OGG_DONE)); };
    }

    timer_.setInterval(kWmaTimerMs);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { WmaTimerTick(); });

    replayGain_ = AppSettings.ReplayGainUse && measuresLoudness(kind_, StoredOutputFormat(AppSettings.OutputFormat));
    measure_ = std::make_unique<TLoudnessMeasure>();
    scan_ = std::make_unique<TLoudnessScan>();
    loudness_.assign(items_.size(), TLoudness{});
    encoded_.assign(items_.size(), QString());

    ripped_.assign(items_.size(), false);
    ripFailure_.assign(items_.size(), QString());
    finished_.assign(items_.size(), false);
    results_.resize(items_.size());
    for (int i = 0; i < count_; ++i) {
        results_[std::size_t(i)].index = i;
        results_[std::size_t(i)].name = items_[std::size_t(i)].name;
    }
}

TJobRunner::~TJobRunner()
{
    // Nothing of a stage may report to a runner that is going away.
    waveOut_->Stop(false);
    vorbisOut_->Stop(false);
    flacOut_->Stop(false);
    opusOut_->Stop(false);
    cleanUp();
}

void TJobRunner::SetNumbering(std::vector<int> numbers, int count)
{
    if (numbers.size() == items_.size())
        numbers_ = std::move(numbers);
    count_ = count;
    for (std::size_t i = 0; i < results_.size(); ++i)
        results_[i].index = numbers_[i] - 1;
}

QString TJobRunner::out() const { return WithTrailingBackslash(AppSettings.OutputFolder); }

int TJobRunner::number(int index) const { return numbers_[std::size_t(index)]; }

QString TJobRunner::encodedOutput(int index, TOutputFormat format) const
{
    const TJobItem& item = items_[std::size_t(index)];
    if (kind_ == jkRipTracks)
        return ChangeFileExt(JobTrackWav(out(), item), FormatExtension(format));
    return JobFileOutput(kind_, out(), item.text);
}

TAuFileOut* TJobRunner::streamEncoder() const
{
    const TOutputFormat format = StoredOutputFormat(AppSettings.OutputFormat);
    if (kind_ == jkToFlac || (kind_ == jkRipTracks && format == TOutputFormat::Flac))
        return flacOut_.get();
    if (kind_ == jkToOpus || (kind_ == jkRipTracks && format == TOutputFormat::Opus))
        return opusOut_.get();
    return vorbisOut_.get();
}

TOutputFormat TJobRunner::streamFormat() const
{
    const TAuFileOut* encoder = streamEncoder();
    return encoder == flacOut_.get()   ? TOutputFormat::Flac
           : encoder == opusOut_.get() ? TOutputFormat::Opus
                                       : TOutputFormat::Ogg;
}

QString TJobRunner::bufferFor() const { return buffer_ ? buffer_->TempPath() : QString(); }

bool TJobRunner::makeBuffer(QString& why)
{
    // Created exclusively: a file of the same name that someone else keeps
    // in the folder is never written or removed.
    buffer_.reset();
    const QString name = kind_ == jkWavToOgg ? OggResampleBuffer(out(), bufferTag_) : Mp3ResampleBuffer(out(), bufferTag_);
    auto buffer = std::make_unique<TOutputFile>(name);
    if (!buffer->Create() || !buffer->Close()) {
        why = buffer->Error();
        return false;
    }
    buffer_ = std::move(buffer);
    return true;
}

void TJobRunner::refuseItem(int index, const QString& why)
{
    switch (kind_) {
    case jkWavToMp3:
    case jkMp3ToWav:
    case jkRecordingToMp3:
        encodeIndex_ = index;
        PostJobEvent(this, MakeProcessInfo(JOB_MP3_DONE, ENC_RESULT_FAILED, why));
        break;
    case jkWavToWma:
        encodeIndex_ = index;
        PostJobEvent(this, MakeProcessInfo(JOB_WMA_DONE, ENC_RESULT_FAILED, why));
        break;
    default:
        streamIndex_ = index;
        stageError_ = why;
        PostJobEvent(this, MakeProcessInfo(JOB_OGG_DONE));
        break;
    }
}

// ---------------------------------------------------------------- display

void TJobRunner::stage(const char* word, int index)
{
    TJobStage s;
    s.word = QString::fromLatin1(word);
    s.number = number(index);
    s.count = count_;
    s.name = items_[std::size_t(index)].name;
    view_.StageStarted(s);
}

void TJobRunner::heading(const QString& text) { view_.Heading(text); }

void TJobRunner::errorBox(const QString& text)
{
    CurrentDialogs().messageBox(text, ProductCaption(), MessageIcon::Error, MessageButtons::Ok, Answer::Ok);
}

// ---------------------------------------------------------------- start

void TJobRunner::Start()
{
    if (started_ || items_.empty())
        return;
    started_ = true;
    view_.Times({}, {});
    view_.ShowPercent(false);
    startItem(0, true);
}

void TJobRunner::startItem(int index, bool first)
{
    if (kind_ != jkRipTracks) {
        // An output that is an input of this job (its own or another item's)
        // is refused before anything is read or written.
        QStringList inputs;
        for (const TJobItem& item : items_)
            inputs << item.text;
        if (const QString why = OutputIsInput(kind_, out(), inputs, index); !why.isEmpty()) {
            stage("Encoding", index);
            refuseItem(index, why);
            return;
        }
    }
    switch (kind_) {
    case jkRipTracks:
        if (first)
            heading(ResourceText(res::Extracting));
        ripTrack(index);
        ripIndex_ = index;
        break;
    case jkWavToMp3:
    case jkWavToOgg:
        startWavItem(index, first);
        break;
    case jkToFlac:
    case jkToOpus:
        startFileItem(index, first);
        break;
    case jkMp3ToWav:
        stage("Decoding", index);
        heading(ResourceText(first ? res::MP3_TO_WAV : res::Decoding));
        lameItem(items_[std::size_t(index)].text, encodedOutput(index, TOutputFormat::Wav), false);
        break;
    case jkRecordingToMp3:
        stage("Encoding", index);
        heading(ResourceText(first ? res::WAV_TO_MP3 : res::Encoding));
        lameItem(items_[std::size_t(index)].text, encodedOutput(index, TOutputFormat::Mp3), true);
        break;
    case jkWavToWma:
        stage("Encoding", index);
        heading(ResourceText(first ? res::WAV_TO_WMA : res::Encoding));
        if (!first)
            view_.Times(QString(), QString());
        wmaItem(items_[std::size_t(index)].text, encodedOutput(index, TOutputFormat::Wma));
        break;
    }
}

void TJobRunner::startWavItem(int index, bool first)
{
    const bool ogg = kind_ == jkWavToOgg;
    const QString input = items_[std::size_t(index)].text;
    waveIn_->SetFileName(input);
    // A file that is no WAV this program reads fails naming the file, before
    // any encoder sees it: the Ogg writer would take it for an empty input,
    // and lame encodes whatever follows a RIFF header as sound.
    if (!waveIn_->IsValid()) {
        stage("Encoding", index);
        heading(ResourceText(first ? (ogg ? res::WAV_TO_OGG : res::WAV_TO_MP3) : res::Encoding));
        const QString refusal = OpenRefusal(*waveIn_);  // a FIFO, a device, a folder: named as such
        const QString why = !refusal.isEmpty() ? refusal : input + QStringLiteral(": not a WAV file this program can read");
        if (ogg) {
            stageError_ = why;
            PostJobEvent(this, MakeProcessInfo(JOB_OGG_DONE));
        } else {
            PostJobEvent(this, MakeProcessInfo(JOB_MP3_DONE, ENC_RESULT_FAILED, why));
        }
        return;
    }
    if (waveIn_->GetSampleRate() >= uint32_t(kResampleRate)) {
        stage("Encoding", index);
        if (ogg) {
            heading(ResourceText(first ? res::WAV_TO_OGG : res::Encoding));
            streamItem(QString(), encodedOutput(index, TOutputFormat::Ogg), index);
        } else {
            heading(ResourceText(first ? res::WAV_TO_MP3 : res::Encoding));
            lameItem(input, encodedOutput(index, TOutputFormat::Mp3), true);
        }
        return;
    }
    stage("Resampling", index);
    QString why;
    if (!makeBuffer(why)) {
        refuseItem(index, why);
        return;
    }
    resample(bufferFor());
}

void TJobRunner::startFileItem(int index, bool first)
{
    const QString input = items_[std::size_t(index)].text;
    const QString output = encodedOutput(index, streamFormat());
    stage("Encoding", index);
    heading(ResourceText(res::Encoding));
    if (!first)
        view_.Times(QString(), QString());
    const TAudioFileKind kind = AudioFileKindOf(input);
    // The encoder is moved off the last item's reader before it goes.
    streamEncoder()->SetInput(waveIn_.get());
    std::unique_ptr<TAuFileIn> in = MakeAudioFileIn(kind);
    in->SetFileName(input);
    // An unreadable input or an output that is the input fails the item,
    // naming the file, before the encoder is set up.
    stageError_.clear();
    const QString refusal = OpenRefusal(*in);
    if (!in->IsValid())
        stageError_ = !refusal.isEmpty() ? refusal
                      : input + QStringLiteral(": not a %1 file this program can read").arg(QLatin1String(AudioFileKindName(kind)));
    else if (SameFile(input, output))
        stageError_ = InputAsOutputMessage(output);
    if (!stageError_.isEmpty()) {
        PostJobEvent(this, MakeProcessInfo(JOB_OGG_DONE));
        return;
    }
    fileIn_ = std::move(in);
    streamItem(QString(), output, index);
}

void TJobRunner::ripTrack(int index)
{
    ripThread_.reset();
    stage("Extracting", index);
    view_.StatusText(ResourceText(res::Initing), true);
    const TJobItem& item = items_[std::size_t(index)];
    TRipSettings settings = TRipSettings::FromAppSettings();
    settings.Overwrite = ripOverwrite_;
    // Files that may not be replaced, the WAV first, are refused before the
    // track is read (the rip thread checks the WAV again as it writes); the
    // refusal ends the rip as a file that could not be created.
    const TOutputFormat format = StoredOutputFormat(AppSettings.OutputFormat);
    const QString wav = JobTrackWav(out(), item);
    QStringList written{wav};
    if (encodesAfterRip(format))
        written << ChangeFileExt(wav, FormatExtension(format));
    for (const QString& file : written) {
        QString taken;
        if (OutputTaken(file, settings, taken)) {
            ripFailure_[std::size_t(index)] = taken;
            PostJobEvent(this, MakeProcessInfo(JOB_RIP_DONE, RIP_RESULT_CREATE_FAILED));
            return;
        }
    }
    ripThread_ = std::make_unique<TCDRipThread>(item.track, item.stem);
    ripThread_->Stopped = false;
    ripThread_->CDHandle = cdHandle_;
    ripThread_->NotifyWindow = this;
    ripThread_->Settings = settings;
    ripThread_->Resume();
}

void TJobRunner::lameItem(const QString& input, const QString& output, bool encode)
{
    lame_->Running = true;
    lame_->InputFile = input;
    lame_->OutputFile = output;
    lame_->NotifyWindow = this;
    lame_->EncodeMode = encode;
    lame_->JobKind = kind_;
    // lame reads the WAV by itself: the scan reads the same PCM beside it.
    if (encode && replayGain_)
        scan_->Start(input);
    try {
        lame_->Start();
    } catch (const EProcessError& e) {
        // The encoder could not be started: the item fails with the reason
        // and the job goes on.
        lame_->Running = false;
        const QString why = e.program().isEmpty() || e.systemError() == 0
                                ? QString::fromUtf8(e.what())
                                : e.program() + QStringLiteral(": cannot start it: ") + SystemReason(e.systemError());
        PostJobEvent(this, MakeProcessInfo(JOB_MP3_DONE, ENC_RESULT_FAILED, why));
    }
}

void TJobRunner::wmaItem(const QString& input, const QString& output)
{
    // The estimate's start, gauge and input size belong to this item; they
    // are set before Start, which may report the item finished at once.
    wmaStart_ = std::chrono::steady_clock::now();
    gauge_ = 0;
    view_.Gauge(0);
    wmaInputSize_ = FileSizeOrMinusOne(input);
    timer_.start();
    wma_->Running = true;
    wma_->InputFile = input;
    wma_->OutputFile = output;
    wma_->NotifyWindow = this;
    wma_->EncodeMode = true;
    wma_->JobKind = kind_;
    inWmaStart_ = true;
    try {
        wma_->Start();
    } catch (const EProcessError& e) {
        wma_->Running = false;
        const QString why = e.program().isEmpty() || e.systemError() == 0
                                ? QString::fromUtf8(e.what())
                                : e.program() + QStringLiteral(": cannot start it: ") + SystemReason(e.systemError());
        PostJobEvent(this, MakeProcessInfo(JOB_WMA_DONE, ENC_RESULT_FAILED, why));
    }
    inWmaStart_ = false;
}

void TJobRunner::streamItem(const QString& input, const QString& output, int index)
{
    if (!input.isEmpty())
        waveIn_->SetFileName(input);
    stageError_.clear();
    streamSkipped_ = false;
    // Converting files asks before replacing an output, as the encoder
    // processes do; CD tracks are replaced as their MP3s are.
    if (kind_ != jkRipTracks && StatPath(output).exists &&
        !CurrentDialogs().askYesNo(output + ResourceText(res::File_Exist), Answer::Yes, MessageIcon::Information)) {
        streamSkipped_ = true;
        PostJobEvent(this, MakeProcessInfo(JOB_OGG_DONE));
        return;
    }
    // CD tracks carry the disc's and the track's comments; converted files
    // carry none.
    const bool tagged = kind_ == jkRipTracks;
    const TJobItem& item = items_[std::size_t(index)];
    TAuFileOut* encoder = streamEncoder();
    // Kinds 7 and 8 read the item through a reader chosen by content, the
    // others the WAV reader; with ReplayGain the PCM passes through the
    // measurement on its way to the encoder.
    TAuInput* reader = (kind_ == jkToFlac || kind_ == jkToOpus) && fileIn_ ? static_cast<TAuInput*>(fileIn_.get())
                                                                          : static_cast<TAuInput*>(waveIn_.get());
    if (replayGain_) {
        measure_->SetInput(reader);
        encoder->SetInput(measure_.get());
    } else {
        encoder->SetInput(reader);
    }
    encoder->SetFileName(output);
    // The track's loudness is known once the encoder has read everything:
    // its values go into the finished temporary file before it is put in
    // place, which spares copying the file again afterwards.
    valuesInPlace_ = false;
    valuesInPlaceError_.clear();
    if (replayGain_) {
        const bool opus = encoder == opusOut_.get();
        encoder->BeforeCommit = [this, index, output, opus](const QString& temp) {
            keepStreamLoudness(index);
            const TLoudness& track = loudness_[std::size_t(index)];
            const TTagValues values = opus ? R128Tags(track) : ReplayGainTags(track);
            QString error;
            if (!values.empty() && !WriteXiphCommentsInPlace(temp, values, &error))
                valuesInPlaceError_ = error.replace(temp, output);
            valuesInPlace_ = true;
        };
    } else {
        encoder->BeforeCommit = nullptr;
    }
    if (encoder == vorbisOut_.get()) {
        ApplyOggEncodeSettings(*vorbisOut_, OggSettingsFromOptions(AppSettings));
        if (tagged)
            SetTrackVorbisComments(vorbisOut_->Comments(), AppSettings.Disc(), item.title, item.track);
        else
            vorbisOut_->Comments().Clear();
    } else {
        TCDRipSettings settings = TCDRipSettings::FromAppSettings();
        settings.TrackComments = tagged;
        const TCDRipTrackTags track{item.track, item.title};
        if (encoder == flacOut_.get())
            ApplyFlacSettings(*flacOut_, settings, track);
        else
            ApplyOpusSettings(*opusOut_, settings, track);
    }
    stageStart_ = std::chrono::steady_clock::now();
    try {
        encoder->Run();
        streamRunning_ = true;
    } catch (const EAuException& e) {
        stageError_ = e.Message();
        PostJobEvent(this, MakeProcessInfo(JOB_OGG_DONE));
    }
}

void TJobRunner::resample(const QString& buffer)
{
    stageError_.clear();
    waveOut_->SetFileName(buffer);
    stageStart_ = std::chrono::steady_clock::now();
    heading(ResourceText(res::WAV_RESAMPLE));
    try {
        waveOut_->Run();
    } catch (const EAuException& e) {
        stageError_ = e.Message();
        SendJobEvent(this, MakeProcessInfo(JOB_RESAMPLE_DONE));
    }
}

// ---------------------------------------------------------------- events

void TJobRunner::jobEvent(std::unique_ptr<TProcessInfo> info)
{
    // Events still queued when the job ended are dropped with it.
    if (closed_ || !info)
        return;
    switch (info->Code) {
    case JOB_NORMALIZING:
        stage("Normalizing", ripIndex_);
        return;
    case JOB_RIP_DONE:
        ripDone(std::move(info));
        return;
    case JOB_MP3_DONE:
        mp3Done(*info);
        return;
    case JOB_OGG_DONE:
        streamDone(*info);
        return;
    case JOB_RESAMPLE_DONE:
        resampleDone();
        return;
    case JOB_WMA_DONE:
        if (inWmaStart_) {
            // Reported from within Start: handled once Start has returned,
            // so the next item never starts inside the previous one's Start.
            PostJobEvent(this, std::move(info));
            return;
        }
        wmaDone(*info);
        return;
    default:
        progress(*info);
        return;
    }
}

void TJobRunner::progress(const TProcessInfo& info)
{
    timer_.stop();
    progressSeen_ = true;
    estimatedText_ = info.Estimated;
    view_.Times(info.Elapsed, info.Estimated);
    if (info.Code > 0) {
        view_.StatusText(QString(), false);
        view_.ShowPercent(true);
        gauge_ = info.Code;
        view_.Gauge(info.Code);
    }
}

void TJobRunner::outputProgress(TAuOutput* output)
{
    const int32_t code = output->Progress();
    const int64_t elapsed = RoundedSeconds(std::chrono::steady_clock::now() - stageStart_);
    PostJobEvent(this, MakeProgressInfo(code < 0 ? 0 : code, elapsed));
}

void TJobRunner::outputFailed(TAuOutput* output) { stageError_ = output->GetExceptionMessage(); }

void TJobRunner::ripError(int code)
{
    if (closed_ || stalled_)
        return;
    const res::Key* key = code == RIP_ERROR_DRIVE_PARAMS ? &res::ModifyCDParmsError
                          : code == RIP_ERROR_READ_TOC   ? &res::ReadTocError
                          : code == RIP_ERROR_CREATE_WAV ? &res::CreateFileError
                                                         : nullptr;
    if (!key)
        return;
    errorBox(ResourceText(*key));
    // Nothing more comes from this track's rip: the job stays here until
    // it is stopped, or ends now when the front end cannot stop it.
    stalled_ = true;
    QString why = ripThread_ ? ripThread_->ErrorText() : QString();
    if (why.isEmpty())
        why = QString::fromUtf8(key->english);
    finishItem(ripIndex_, Outcome::Failed, why);
    if (endOnStall_)
        QMetaObject::invokeMethod(this, [this] { Stop(); }, Qt::QueuedConnection);
}

void TJobRunner::ripDone(std::unique_ptr<TProcessInfo> info)
{
    const int index = ripIndex_;
    const TJobItem& item = items_[std::size_t(index)];
    const QString wav = JobTrackWav(out(), item);
    if (info->Result != RIP_RESULT_OK && !ripFailure_[std::size_t(index)].isEmpty()) {
        // Refused before the rip: the refusal says it all.
        errorBox(ripFailure_[std::size_t(index)]);
    } else if (info->Result != RIP_RESULT_OK) {
        const bool created = info->Result == RIP_RESULT_CREATE_FAILED;
        const QString box = created ? wav + ResourceText(res::CreateWavFileError) : ResourceText(res::ReadCDAudioError);
        QString why = ripThread_ ? ripThread_->ErrorText() : QString();
        if (why.isEmpty())
            why = created ? wav + QStringLiteral(": the file could not be created")
                          : QStringLiteral("track %1: the disc could not be read").arg(item.track);
        errorBox(box + QLatin1Char('\n') + why);
        // One line for the result: a file's failure names the file and the
        // system's reason; a disc's failure is the message with its reason.
        ripFailure_[std::size_t(index)] =
            created ? why : ResourceText(res::ReadCDAudioError) + QStringLiteral(" (") + why + QLatin1Char(')');
    } else {
        ripped_[std::size_t(index)] = true;
    }
    ++ripIndex_;

    const TOutputFormat format = StoredOutputFormat(AppSettings.OutputFormat);
    if (!encodesAfterRip(format)) {
        if (info->Result == RIP_RESULT_OK)
            finishItem(index, Outcome::Done, {}, {wav});
        else
            finishItem(index, Outcome::Failed, ripFailure_[std::size_t(index)]);
        if (ripIndex_ == int(items_.size()))
            closeJob();
        else
            ripTrack(ripIndex_);
        return;
    }
    const int32_t doneCode = format == TOutputFormat::Mp3 ? JOB_MP3_DONE : format == TOutputFormat::Wma ? JOB_WMA_DONE : JOB_OGG_DONE;
    if (format == TOutputFormat::Wma)
        ripThread_.reset();
    if (info->Result != RIP_RESULT_OK) {
        // The track is done with: its encoding is skipped, reported through
        // the encoder's completion (without a second message).
        info->Code = doneCode;
        info->Result = ENC_RESULT_RIP_FAILED;
        progressSeen_ = true;
        PostJobEvent(this, std::move(info));
        return;
    }
    stage("Encoding", index);
    heading(ResourceText(res::Encoding));
    if (format == TOutputFormat::Mp3)
        lameItem(wav, ChangeFileExt(wav, FormatExtension(format)), true);
    else if (format == TOutputFormat::Wma)
        wmaItem(wav, ChangeFileExt(wav, FormatExtension(format)));
    else
        streamItem(wav, ChangeFileExt(wav, FormatExtension(streamFormat())), index);
}

void TJobRunner::mp3Done(const TProcessInfo& info)
{
    const int index = encodeIndex_;
    const QString itemText = items_[std::size_t(index)].text;
    const QString output = lame_->OutputFile;
    const bool outputMade = StatPath(output).exists;
    if (!progressSeen_) {
        if (info.Result == ENC_RESULT_IN_USE)
            errorBox(itemText + ResourceText(res::Operate_Fail));
        else if (info.Result == ENC_RESULT_ENDED && !outputMade)
            errorBox(ResourceText(res::Check_Mp3Options));
    }
    // A refusal or a failed encoder always says why, naming the file.
    if (info.Result == ENC_RESULT_FAILED)
        errorBox(ResourceText(res::Check_Mp3Options) + QLatin1Char('\n') + info.Elapsed);

    Outcome outcome = Outcome::Done;
    QString message;
    QStringList outputs;
    // The scan read the encoder's input beside it; only a whole encoding
    // keeps its measurement.
    TLoudness loudness;
    std::unique_ptr<TLoudnessMeter> meter;
    QString scanFailure;
    if (info.Result == ENC_RESULT_ENDED && outputMade) {
        if (scan_->Started() && !scan_->Wait(loudness, meter, &scanFailure))
            scanFailure += QStringLiteral(" (the loudness was not measured)");
    } else {
        scan_->Cancel();
    }
    switch (info.Result) {
    case ENC_RESULT_ENDED: {
        outputs << output;
        if (kind_ == jkRipTracks && AppSettings.IsKeepWav)
            outputs << lame_->InputFile;
        const TJobItem& item = items_[std::size_t(index)];
        const bool trailer = kind_ == jkRipTracks && AppSettings.Use && progressSeen_;
        if (trailer) {
            QString why;
            const uint16_t status = WriteTrackId3(output, AppSettings.Disc(), item.title, item.track, &why);
            if (status > 255) {
                CurrentDialogs().message(QStringLiteral("Error #%1! Could not save Tag!").arg(status));
                outcome = Outcome::Failed;
                message = why;
            }
        }
        if (!outputMade)
            break;
        loudness_[std::size_t(index)] = loudness;
        if (kind_ == jkRipTracks)
            album_.Add(std::move(meter));
        // The ID3v2.4 tag carries the disc's and the track's values when its
        // option is on, whether or not the ID3v1 trailer is written.
        std::optional<TId3v24Fields> text;
        if (kind_ == jkRipTracks && AppSettings.Id3v2Use)
            text = DiscTrackId3v24Fields(AppSettings.Disc(), item.title, item.track);
        const QString problems = joined(scanFailure, tagEncoded(index, output, text ? &*text : nullptr));
        if (!problems.isEmpty()) {
            outcome = Outcome::Failed;
            message = joined(message, problems);
        }
        break;
    }
    case ENC_RESULT_SKIPPED:
        outcome = Outcome::Skipped;
        message = output + QStringLiteral(": exists and was not replaced");
        break;
    case ENC_RESULT_IN_USE:
        outcome = Outcome::Failed;
        message = output + QStringLiteral(": the file is in use");
        break;
    case ENC_RESULT_RIP_FAILED:
        outcome = Outcome::Failed;
        message = ripFailure_[std::size_t(index)];
        break;
    default:
        outcome = Outcome::Failed;
        message = info.Elapsed.isEmpty() ? output + QStringLiteral(": the encoder failed") : info.Elapsed;
        break;
    }
    if (const QString album = tagAlbum(index); !album.isEmpty()) {
        outcome = Outcome::Failed;
        message = joined(message, album);
    }
    finishItem(index, outcome, message, outputs);

    progressSeen_ = false;
    ++encodeIndex_;
    advance(encodeIndex_);
}

void TJobRunner::streamDone(const TProcessInfo& info)
{
    streamRunning_ = false;
    const int index = streamIndex_;
    const QString output = encodedOutput(index, streamFormat());
    Outcome outcome = Outcome::Failed;
    QString message;
    QStringList outputs;
    if (info.Result == ENC_RESULT_RIP_FAILED) {
        message = ripFailure_[std::size_t(index)];
    } else if (streamSkipped_) {
        outcome = Outcome::Skipped;
        message = output + QStringLiteral(": exists and was not replaced");
    } else if (!stageError_.isEmpty()) {
        errorBox(stageError_);
        message = stageError_;
    } else {
        outputs << output;
        if (kind_ == jkRipTracks && AppSettings.IsKeepWav)
            outputs << JobTrackWav(out(), items_[std::size_t(index)]);
        if (valuesInPlace_) {
            encoded_[std::size_t(index)] = output;
            message = valuesInPlaceError_;
        } else {
            keepStreamLoudness(index);
            message = tagEncoded(index, output, nullptr);
        }
        outcome = message.isEmpty() ? Outcome::Done : Outcome::Failed;
    }
    if (const QString album = tagAlbum(index); !album.isEmpty()) {
        outcome = Outcome::Failed;
        message = joined(message, album);
    }
    finishItem(index, outcome, message, outputs);
    stageError_.clear();
    streamSkipped_ = false;
    progressSeen_ = false;
    ++streamIndex_;
    advance(streamIndex_);
}

void TJobRunner::keepStreamLoudness(int index)
{
    if (!replayGain_)
        return;
    loudness_[std::size_t(index)] = measure_->TrackResult();
    std::unique_ptr<TLoudnessMeter> meter = measure_->TakeMeter();
    if (kind_ == jkRipTracks)
        album_.Add(std::move(meter));
}

QString TJobRunner::tagEncoded(int index, const QString& output, const TId3v24Fields* mp3Text)
{
    encoded_[std::size_t(index)] = output;
    if (!replayGain_ && !mp3Text)
        return {};
    return WriteEncodedTags(output, loudness_[std::size_t(index)], nullptr, mp3Text);
}

QString TJobRunner::tagAlbum(int index)
{
    // The last item of a CD job ends the album, however that item itself
    // ended; a stopped job has none.
    if (!replayGain_ || kind_ != jkRipTracks || stopped_ || index + 1 != int(items_.size()))
        return {};
    std::vector<TAlbumFile> files;
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (!encoded_[i].isEmpty())
            files.push_back({encoded_[i], loudness_[i]});
    return WriteAlbumTags(files, album_.Result());
}

void TJobRunner::resampleDone()
{
    const bool ogg = kind_ == jkWavToOgg;
    const int index = ogg ? streamIndex_ : encodeIndex_;
    if (!stageError_.isEmpty()) {
        // The buffer is not whole: the item fails with the resampler's or
        // the writer's reason instead of encoding a cut-off file.
        const QString why = stageError_;
        if (ogg) {
            PostJobEvent(this, MakeProcessInfo(JOB_OGG_DONE));
        } else {
            stageError_.clear();
            PostJobEvent(this, MakeProcessInfo(JOB_MP3_DONE, ENC_RESULT_FAILED, why));
        }
        return;
    }
    stage("Encoding", index);
    heading(ResourceText(res::Encoding));
    if (ogg)
        streamItem(bufferFor(), encodedOutput(index, TOutputFormat::Ogg), index);
    else
        lameItem(bufferFor(), encodedOutput(index, TOutputFormat::Mp3), true);
}

void TJobRunner::wmaDone(const TProcessInfo& info)
{
    timer_.stop();
    const int index = encodeIndex_;
    const QString output = wma_->OutputFile;
    if (info.Result == ENC_RESULT_IN_USE && !progressSeen_)
        errorBox(items_[std::size_t(index)].text + ResourceText(res::Operate_Fail));
    if (info.Result == ENC_RESULT_ERROR_LINE || info.Result == ENC_RESULT_FAILED)
        errorBox(info.Elapsed);

    switch (info.Result) {
    case ENC_RESULT_ENDED: {
        QStringList outputs{output};
        if (kind_ == jkRipTracks && AppSettings.IsKeepWav)
            outputs << wma_->InputFile;
        finishItem(index, Outcome::Done, {}, outputs);
        break;
    }
    case ENC_RESULT_SKIPPED:
        finishItem(index, Outcome::Skipped,
                   WmaProgram().isEmpty() ? QStringLiteral("WM8EUTIL: the WMA encoder was not found")
                                          : output + QStringLiteral(": exists and was not replaced"));
        break;
    case ENC_RESULT_IN_USE:
        finishItem(index, Outcome::Failed, output + QStringLiteral(": the file is in use"));
        break;
    case ENC_RESULT_RIP_FAILED:
        finishItem(index, Outcome::Failed, ripFailure_[std::size_t(index)]);
        break;
    default:
        finishItem(index, Outcome::Failed,
                   info.Elapsed.isEmpty() ? output + QStringLiteral(": the encoder failed") : info.Elapsed);
        break;
    }
    progressSeen_ = false;
    ++encodeIndex_;
    if (encodeIndex_ == int(items_.size())) {
        // The WMA object reported from inside its own call: the job closes
        // once that call has returned.
        QMetaObject::invokeMethod(this, [this] { closeJob(); }, Qt::QueuedConnection);
        return;
    }
    advance(encodeIndex_);
}

void TJobRunner::advance(int nextIndex)
{
    if (nextIndex >= int(items_.size())) {
        closeJob();
        return;
    }
    if (kind_ == jkRipTracks) {
        heading(ResourceText(res::Extracting));
        ripTrack(ripIndex_);
        return;
    }
    startItem(nextIndex, false);
}

// ---------------------------------------------------------------- WMA estimate

void TJobRunner::WmaTimerTick()
{
    const int64_t elapsed = RoundedSeconds(std::chrono::steady_clock::now() - wmaStart_);
    view_.Times(FormatMinutesSeconds(elapsed), estimatedText_);
    if (!wma_->Running)
        return;
    view_.StatusText(QString(), false);
    int profile = AppSettings.WmaBitRate;
    if (profile < 0 || profile >= WmaProfileCount) {
        profile = WmaDefaultProfile;
        AppSettings.WmaBitRate = profile;
    }
    // What the encoder has written so far sits in its temporary output.
    QString writing = wma_->PendingOutputPath();
    if (writing.isEmpty())
        writing = wma_->OutputFile;
    const auto total = JobWmaEstimatedSeconds(elapsed, wmaInputSize_, FileSizeOrMinusOne(writing), profile);
    if (!total)
        return;
    estimatedText_ = FormatMinutesSeconds(*total);
    view_.Times(FormatMinutesSeconds(elapsed), estimatedText_);
    view_.ShowPercent(true);
    const int g = JobWmaGaugePercent(elapsed, *total);
    if (g > gauge_) {
        gauge_ = g;
        view_.Gauge(g);
    }
}

// ---------------------------------------------------------------- end

void TJobRunner::finishItem(int index, Outcome outcome, const QString& message, QStringList outputs)
{
    if (index < 0 || index >= int(items_.size()) || finished_[std::size_t(index)])
        return;
    finished_[std::size_t(index)] = true;
    TJobItemResult& r = results_[std::size_t(index)];
    r.outcome = outcome;
    r.message = message;
    r.outputs = std::move(outputs);
    view_.ItemFinished(r);
}

void TJobRunner::Stop()
{
    if (closed_)
        return;
    stopped_ = true;
    // A stream stage stops at once, and nothing of it arrives afterwards.
    for (TAuOutput* encoder : {static_cast<TAuOutput*>(vorbisOut_.get()), static_cast<TAuOutput*>(flacOut_.get()),
                               static_cast<TAuOutput*>(opusOut_.get())}) {
        encoder->Pause();
        encoder->Stop(false);
    }
    waveOut_->Stop(false);
    if (streamRunning_ && streamEncoder()->LastRunCommitted()) {
        // The encoding had ended whole and its file was in place before the
        // stop arrived (its completion was still on the way): the item is
        // done, not stopped.
        streamRunning_ = false;
        const int index = streamIndex_;
        const QString output = encodedOutput(index, streamFormat());
        encoded_[std::size_t(index)] = output;
        finishItem(index, valuesInPlaceError_.isEmpty() ? Outcome::Done : Outcome::Failed, valuesInPlaceError_,
                   {output});
    }
    if (ripThread_ && ripIndex_ < int(items_.size()) && ripThread_->Track == items_[std::size_t(ripIndex_)].track &&
        ripThread_->StopAndWait()) {
        // The track's WAV was renamed into place before the stop reached the
        // thread: it is ripped, and a WAV rip is done, not stopped.
        const int index = ripIndex_++;
        ripped_[std::size_t(index)] = true;
        if (!encodesAfterRip(StoredOutputFormat(AppSettings.OutputFormat)))
            finishItem(index, Outcome::Done, {}, {JobTrackWav(out(), items_[std::size_t(index)])});
    }
    for (std::size_t i = 0; i < items_.size(); ++i)
        finishItem(int(i), Outcome::Stopped, QStringLiteral("the job was stopped before this item was done"));
    closeJob();
}

void TJobRunner::closeJob()
{
    if (closed_)
        return;
    cleanUp();
    closed_ = true;
    timer_.stop();
    view_.Closed();
    if (OnClosed)
        OnClosed();
}

void TJobRunner::cleanUp()
{
    if (cleanedUp_)
        return;
    cleanedUp_ = true;
    // The scan may be reading a WAV that is removed below.
    scan_->Cancel();
    if (ripThread_) {
        ripThread_->Stopped = true;
        ripThread_.reset();
    }
    const TOutputFormat format = StoredOutputFormat(AppSettings.OutputFormat);
    if (kind_ == jkRipTracks && ripIndex_ == int(items_.size()) && encodesAfterRip(format) &&
        !AppSettings.IsKeepWav) {
        // Only the WAVs this job ripped: a file of the same name that was
        // there before (a rip that refused to replace it) is not ours.
        for (std::size_t i = 0; i < items_.size(); ++i)
            if (ripped_[i])
                deleteFile(JobTrackWav(out(), items_[i]));
    }
    if (lame_->Running)
        lame_->Kill(0);
    if (wma_->Running)
        wma_->Kill(0);
    // The buffer is the job's own file: removed whoever may still read it.
    buffer_.reset();
}

}  // namespace dw
