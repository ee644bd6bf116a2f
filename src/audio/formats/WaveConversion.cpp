#include "audio/formats/WaveConversion.h"

#include "audio/formats/VorbisConvert.h"
#include "audio/formats/VorbisIn.h"

#include "audio/stream/AuFileOut.h"
#include "platform/NativePath.h"

#include <QFileInfo>

#include <cerrno>

namespace dw {

TWaveConversion::TWaveConversion(TWaveConversionSettings settings) : settings_(std::move(settings)) {}

QString TWaveConversion::Prepare()
{
    const TWaveConversionSettings& s = settings_;
    const TPathInfo inInfo = StatPath(s.inPath);
    if (!inInfo.exists)
        return QString("%1: %2").arg(s.inPath, SystemReason(inInfo.error ? inInfo.error : ENOENT));
    if (!inInfo.isFile)
        return QString("%1: %2").arg(s.inPath, SystemReason(inInfo.isDir ? EISDIR : EINVAL));
    if (SameFile(s.inPath, s.outPath))
        return InputAsOutputMessage(s.outPath);
    if (IsDirectory(s.outPath))
        return QString("%1: %2").arg(s.outPath, SystemReason(EISDIR));
    QString reason;
    if (!FolderWritable(QFileInfo(s.outPath).absolutePath(), &reason))
        return reason;

    // An Ogg Vorbis file is decoded to 16-bit PCM and converted like a WAV.
    const bool ogg = LooksLikeOgg(s.inPath);
    if (ogg)
        in_ = std::make_unique<TVorbisIn>();
    else
        in_ = std::make_unique<TWaveIn>();
    in_->SetFileName(s.inPath);
    if (!in_->IsValid())
        return QString(ogg ? "%1: not a valid Ogg Vorbis file" : "%1: not a valid WAV file (or an encoding that cannot be read)")
            .arg(s.inPath);

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
    out_.SetInput(&converter_);
    out_.SetFileName(s.outPath);
    out_.SetFileMode(foRewrite);
    out_.SetBlockSize(512);
    out_.SetCreateNonMsHeaders(false);
    out_.SetWavType(s.encoding);
    return {};
}

}  // namespace dw
