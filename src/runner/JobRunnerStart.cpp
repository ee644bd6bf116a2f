#include "runner/JobRunner.h"

#include "app/Helpers.h"
#include "app/OutputFormats.h"
#include "app/ResourceText.h"
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
#include "runner/JobRunnerShared.h"
#include "runner/JobTags.h"
#include "runner/JobWmaEstimate.h"
#include "runner/LoudnessScan.h"
#include "tags/XiphCommentWriter.h"

#include <QFileInfo>
#include <QMetaObject>

#include <optional>

namespace dw {

using namespace jobrunner;

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
    const TRipSettings settings = TRipSettings::FromConfig(config_);
    // Files that may not be replaced, the WAV first, are refused before the
    // track is read (the rip thread checks the WAV again as it writes); the
    // refusal ends the rip as a file that could not be created.
    const TOutputFormat format = config_.Format();
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
    ripThread_ = std::make_unique<TCDRipThread>(item.track, item.stem, settings);
    ripThread_->Stopped = false;
    ripThread_->CDHandle = cdHandle_;
    ripThread_->NotifyWindow = this;
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
    // An existing output is replaced only when the user (or --overwrite)
    // agrees; the encoder itself asks nothing.
    lame_->SetOverwrite(!lame_->OutputAwaitsOverwriteAnswer() ||
                        CurrentDialogs().askYesNo(output + ResourceText(res::File_Exist), Answer::Yes,
                                                  MessageIcon::Information));
    lame_->SetOptions(config_.Options);
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
    wma_->SetOverwrite(!wma_->OutputAwaitsOverwriteAnswer() ||
                       CurrentDialogs().askYesNo(output + ResourceText(res::File_Exist), Answer::Yes,
                                                 MessageIcon::Information));
    wma_->SetOptions(config_.Options, config_.Disc);
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
        ApplyOggEncodeSettings(*vorbisOut_, OggSettingsFromOptions(config_.Options));
        if (tagged)
            SetTrackVorbisComments(vorbisOut_->Comments(), config_.Disc, item.title, item.track);
        else
            vorbisOut_->Comments().Clear();
    } else {
        TCDRipSettings settings = TCDRipSettings::FromConfig(config_);
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

}  // namespace dw
