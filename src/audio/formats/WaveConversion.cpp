#include "audio/formats/WaveConversion.h"

#include "audio/formats/FlacIn.h"
#include "audio/formats/FlacStreamStart.h"
#include "audio/formats/OpusIn.h"
#include "audio/formats/VorbisIn.h"

#include "audio/stream/AuException.h"
#include "audio/stream/AuFileOut.h"
#include "platform/InputFile.h"
#include "platform/NativePath.h"

#include <QFileInfo>

#include <QByteArray>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace dw {

TAudioFileKind AudioFileKindOf(const QString& path)
{
    // Not a regular file: the WAV reader's open then refuses it by name.
    const UniqueFd fd = OpenInputFile(path);
    if (!fd)
        return TAudioFileKind::Wave;
    // The first Ogg page: 27 header bytes, the segment table, then the first
    // packet, whose start names the codec.
    unsigned char head[27 + 255 + 8] = {};
    const ssize_t got = ReadFull(fd.get(), head, sizeof head);
    // "fLaC" at the start or behind ID3v2 tags, or a FLAC frame.
    if (FlacStreamInFile(fd.get()))
        return TAudioFileKind::Flac;
    if (got < 4 || std::memcmp(head, "OggS", 4) != 0)
        return TAudioFileKind::Wave;
    if (got >= 27) {
        const ssize_t packet = 27 + head[26];
        if (got >= packet + 8 && std::memcmp(head + packet, "OpusHead", 8) == 0)
            return TAudioFileKind::Opus;
    }
    return TAudioFileKind::OggVorbis;
}

std::unique_ptr<TAuFileIn> MakeAudioFileIn(TAudioFileKind kind)
{
    switch (kind) {
    case TAudioFileKind::OggVorbis: return std::make_unique<TVorbisIn>();
    case TAudioFileKind::Flac: return std::make_unique<TFlacIn>();
    case TAudioFileKind::Opus: return std::make_unique<TOpusIn>();
    case TAudioFileKind::Wave: break;
    }
    return std::make_unique<TWaveIn>();
}

QString OpenRefusal(TAuFileIn& in)
{
    try {
        (void)in.GetChannels();  // opens the file
    } catch (const std::exception& e) {
        return ExceptionText(e);
    }
    return {};
}

const char* AudioFileKindName(TAudioFileKind kind)
{
    switch (kind) {
    case TAudioFileKind::OggVorbis: return "Ogg Vorbis";
    case TAudioFileKind::Flac: return "FLAC";
    case TAudioFileKind::Opus: return "Opus";
    case TAudioFileKind::Wave: break;
    }
    return "WAV";
}

TWaveConversion::TWaveConversion(TWaveConversionSettings settings) : settings_(std::move(settings)) {}

QString TWaveConversion::Prepare()
{
    const TWaveConversionSettings& s = settings_;
    if (const QString problem = CheckInputFile(s.inPath); !problem.isEmpty())
        return problem;
    if (SameFile(s.inPath, s.outPath))
        return InputAsOutputMessage(s.outPath);
    const TPathInfo outInfo = StatPath(s.outPath);
    if (outInfo.isDir)
        return QString("%1: %2").arg(s.outPath, SystemReason(EISDIR));
    if (outInfo.exists && !s.overwrite)
        return QString("%1: already exists and replacing it was not asked for").arg(s.outPath);
    QString reason;
    if (!FolderWritable(QFileInfo(s.outPath).absolutePath(), &reason))
        return reason;

    // Ogg Vorbis, FLAC and Opus files are decoded to PCM (Vorbis and Opus at
    // 16 bits, FLAC at its own width) and converted like a WAV.
    const TAudioFileKind kind = AudioFileKindOf(s.inPath);
    in_ = MakeAudioFileIn(kind);
    in_->SetFileName(s.inPath);
    // The decoders' refusals name the file and the reason.
    const QString refusal = OpenRefusal(*in_);
    if (!in_->IsValid())
        return !refusal.isEmpty() ? refusal
               : kind == TAudioFileKind::Wave
                   ? QString("%1: not a valid WAV file (or an encoding that cannot be read)").arg(s.inPath)
                   : QString("%1: not a valid %2 file").arg(s.inPath, QLatin1String(AudioFileKindName(kind)));

    if (s.channels > 2)
        return QString("%1: only 1 or 2 output channels can be made").arg(s.outPath);
    if (s.bits != 0 && s.bits != 8 && s.bits != 16 && s.bits != 24 && s.bits != 32)
        return QString("%1: %2-bit samples cannot be written (8, 16, 24 or 32)").arg(s.outPath).arg(s.bits);
    if (s.sampleRate != 0 && (s.sampleRate < s.kMinRate || s.sampleRate > s.kMaxRate))
        return QString("%1: a sample rate of %2 Hz cannot be written (%3 to %4 Hz)")
            .arg(s.outPath)
            .arg(s.sampleRate)
            .arg(s.kMinRate)
            .arg(s.kMaxRate);
    if (s.encoding != wtPCM && s.encoding != wtDVIADPCM)
        return QString("%1: only PCM or IMA ADPCM can be written").arg(s.outPath);

    const uint32_t inChannels = in_->GetChannels();
    const uint32_t inBits = in_->GetBitsPerSample();
    const uint32_t inRate = in_->GetSampleRate();
    TWaveConversionPlan& p = plan_;
    p.encoding = s.encoding;
    p.channels = s.channels ? s.channels : inChannels;
    p.bits = s.bits ? s.bits : inBits;
    p.sampleRate = s.sampleRate ? s.sampleRate : inRate;
    if (s.encoding == wtDVIADPCM) {
        if (s.bits != 0 && s.bits != 16)
            return QString("Cannot encode %1 bit sound into ADPCM.").arg(s.bits);
        p.bits = 16;
        if (!s.channels && inChannels > 2)
            p.channels = 2;
    }
    if (p.channels != inChannels && inChannels > TDownmixer::kMaxInChannels)
        return QString("%1: has %2 channels; only 3 to %3 channels can be mixed down")
            .arg(s.inPath)
            .arg(inChannels)
            .arg(TDownmixer::kMaxInChannels);
    if (p.sampleRate != inRate && inRate < s.kMinRate)
        return QString("%1: a sample rate of %2 Hz cannot be converted").arg(s.inPath).arg(inRate);
    p.downmix = inChannels >= TDownmixer::kMinInChannels && p.channels < inChannels;

    TAuInput* head = in_.get();
    if (p.downmix) {
        downmix_.SetInput(head);
        downmix_.SetOutChannels(p.channels);
        head = &downmix_;
    }
    resampler_.SetInput(head);
    resampler_.SetOutSampleRate(p.sampleRate);
    converter_.SetInput(&resampler_);
    converter_.SetMode(TMSConverterMode::msmMonoToBoth);
    // What is not changed passes through untouched.
    const uint32_t midChannels = p.downmix ? p.channels : inChannels;
    converter_.SetOutBitsPerSample(p.bits != inBits ? p.bits : 0);
    converter_.SetOutChannels(p.channels != midChannels ? p.channels : 0);
    converter_.SetDither(s.dither);
    out_.SetInput(&converter_);
    out_.SetFileName(s.outPath);
    out_.SetFileMode(foRewrite);
    // A stopped conversion keeps a shorter, correctly sized file.
    out_.SetKeepStopped(true);
    out_.SetBlockSize(512);
    out_.SetCreateNonMsHeaders(false);
    out_.SetWavType(s.encoding);
    return {};
}

}  // namespace dw
