#include "audio/formats/VorbisOut.h"

#include "audio/formats/VorbisEncoder.h"
#include "audio/formats/VorbisLibrary.h"
#include "audio/stream/AuException.h"
#include "tags/VorbisTags.h"

#include <algorithm>
#include <cstring>

namespace dw {

namespace {

// Bytes asked of the input per DoOutput.
constexpr uint32_t kChunk = 0x6000;
// Frames handed to the library at a time, whatever the input's reads hold.
// The library chooses its block sizes from the frames it holds when it is
// handed more, so fixed pieces make a stream depend only on the samples (and
// match the Vorbis tools' encoder, which hands over 1,024 frames at a time).
// Small pieces also keep cheap the copy of unused frames to the start of its
// buffer that the library makes after each block.
constexpr uint32_t kFramesPerBuffer = 1024;

}  // namespace

TVorbisOut::TVorbisOut() : CommentTags(std::make_unique<TVorbisTags>()) {}

TVorbisOut::~TVorbisOut()
{
    Stop(false);
}

void TVorbisOut::SetComments(const TVorbisTags& tags)
{
    CommentTags->Assign(tags);
}

void TVorbisOut::SetDesiredNominalBitrate(TVorbisBitRate rate)
{
    DesiredNominalBitrate = rate;
    if (rate < MinimumBitrate)
        MinimumBitrate = rate;
    // An automatic maximum stays automatic (no upper bound).
    if (DesiredMaximumBitrate != brAutoSelect && DesiredMaximumBitrate < rate)
        DesiredMaximumBitrate = rate;
    if (rate == brAutoSelect)
        DesiredMaximumBitrate = brAutoSelect;
}

void TVorbisOut::SetDesiredMaximumBitrate(TVorbisBitRate rate)
{
    if (DesiredNominalBitrate != brAutoSelect && (rate == brAutoSelect || rate >= DesiredNominalBitrate))
        DesiredMaximumBitrate = rate;
}

void TVorbisOut::SetMinimumBitrate(TVorbisBitRate rate)
{
    if (rate <= DesiredNominalBitrate)
        MinimumBitrate = rate;
}

void TVorbisOut::SetFileMode(TFileOutputMode mode)
{
    FileMode = mode;
}

void TVorbisOut::writePage(const ogg_page& page)
{
    if (Stream->Write(page.header, page.header_len) != page.header_len ||
        Stream->Write(page.body, page.body_len) != page.body_len)
        throw EAuException(QString("%1: Error writing ogg file").arg(FileName));
}

void TVorbisOut::Prepare()
{
    EndOfStream = false;
    inputEnded_ = false;
    appending_ = false;
    appendFrom_ = 0;
    wholeFrames_.Clear();
    planes_ = nullptr;
    filled_ = 0;

    vorbis::LoadLibraries();  // a missing library is reported before anything else
    if (FileName.isEmpty())
        throw EAuException("File name is not assigned.");
    RefuseInputAsOutput();
    appending_ = OpenDestination();
    if (appending_) {
        appendFrom_ = Stream->Seek(0, TSeekOrigin::soEnd);
        // Only an Ogg file can take another logical stream at its end.
        char magic[4] = {};
        Stream->SetPosition(0);
        const bool isOgg = Stream->Read(magic, 4) == 4 && std::memcmp(magic, "OggS", 4) == 0;
        if (appendFrom_ > 0 && !isOgg)
            throw EAuException(QString("%1: not an Ogg file; a stream cannot be appended to it").arg(FileName));
        Stream->Seek(0, TSeekOrigin::soEnd);
    }

    Input->Init();
    channels_ = static_cast<int>(Input->GetChannels());
    bits_ = static_cast<int>(Input->GetBitsPerSample());
    frameBytes_ = static_cast<uint32_t>((channels_ * bits_) >> 3);
    if (frameBytes_ == 0)
        frameBytes_ = 1;  // an unusable input; the encoder set-up refuses it
    wholeFrames_.Reset(frameBytes_);
    setUpEncoder();
}

void TVorbisOut::setUpEncoder()
{
    Encoder = std::make_unique<TVorbisEncoder>(vorbis::LoadLibraries());
    const long rate = static_cast<long>(Input->GetSampleRate());
    if (DesiredNominalBitrate == brAutoSelect) {
        Encoder->SetUpQuality(channels_, rate, Compression);
    } else {
        const long maximum = VorbisBitRateValue(DesiredMaximumBitrate);
        const long nominal = VorbisBitRateValue(DesiredNominalBitrate);
        long minimum = VorbisBitRateValue(MinimumBitrate);
        if (minimum == -1)
            minimum = nominal;
        Encoder->SetUpBitRate(channels_, rate, maximum, nominal, minimum);
    }
    // Comments in the container's order; empty values are not written.
    for (int i = 0; i < CommentTags->Count(); ++i) {
        const QString name = CommentTags->Names(i);
        const QString value = CommentTags->AsWideString(name);
        if (!value.isEmpty())
            Encoder->AddComment(name.toUtf8(), value.toUtf8());
    }
    Encoder->Start(Serial, [this](const ogg_page& page) { writePage(page); });
}

void TVorbisOut::encode(const uint8_t* data, uint32_t frames)
{
    while (frames > 0) {
        if (!planes_) {
            planes_ = Encoder->Buffer(static_cast<int>(kFramesPerBuffer));
            filled_ = 0;
        }
        const uint32_t piece = std::min(frames, kFramesPerBuffer - filled_);
        convert(data, piece);
        filled_ += piece;
        data += size_t(piece) * frameBytes_;
        frames -= piece;
        if (filled_ == kFramesPerBuffer)
            handOver();
    }
}

void TVorbisOut::handOver()
{
    const int frames = static_cast<int>(filled_);
    planes_ = nullptr;
    filled_ = 0;
    Encoder->Wrote(frames, [this](const ogg_page& page) { writePage(page); });
}

void TVorbisOut::convert(const uint8_t* data, uint32_t frames)
{
    // Written at the end of what the library's buffer holds so far.
    float* const* const planes = planes_;
    const uint32_t at = filled_;
    const int ch = channels_;
    switch (bits_) {
    case 8:
        for (uint32_t f = 0; f < frames; ++f)
            for (int c = 0; c < ch; ++c)
                planes[c][at + f] = (static_cast<int>(*data++) - 128) / 128.0f;
        break;
    case 16:
        for (uint32_t f = 0; f < frames; ++f)
            for (int c = 0; c < ch; ++c, data += 2)
                planes[c][at + f] = static_cast<int16_t>(data[0] | (data[1] << 8)) / 32768.0f;
        break;
    case 32:
        for (uint32_t f = 0; f < frames; ++f)
            for (int c = 0; c < ch; ++c, data += 4) {
                const uint32_t u = data[0] | (data[1] << 8) | (data[2] << 16) | (uint32_t(data[3]) << 24);
                planes[c][at + f] = static_cast<float>(static_cast<int32_t>(u) / 2147483648.0);
            }
        break;
    default:  // 24-bit little-endian signed
        for (uint32_t f = 0; f < frames; ++f)
            for (int c = 0; c < ch; ++c, data += 3) {
                const int32_t s = static_cast<int32_t>((data[0] << 8) | (data[1] << 16) | (uint32_t(data[2]) << 24)) >> 8;
                planes[c][at + f] = s / 8388608.0f;
            }
        break;
    }
}

bool TVorbisOut::DoOutput(bool abort)
{
    if (abort || EndOfStream || !Encoder)
        return false;
    if (inputEnded_) {
        // The end was handed over; the encoder has nothing more to give.
        EndOfStream = true;
        return false;
    }
    void* data = nullptr;
    uint32_t bytes = kChunk;
    Input->GetData(data, bytes);
    const auto sink = [this](const ogg_page& page) { writePage(page); };
    if (bytes == 0) {
        // A partial frame left at the end of the input is dropped.
        inputEnded_ = true;
        if (planes_ && filled_ > 0)
            handOver();
        Encoder->Wrote(0, sink);
        EndOfStream = Encoder->Ended();
        return true;
    }
    const auto* in = static_cast<const uint8_t*>(data);
    wholeFrames_.Feed(in, bytes, [this](const uint8_t* frames, uint32_t count) { encode(frames, count); });
    return true;
}

void TVorbisOut::Done()
{
    const bool failed = !GetExceptionMessage().isEmpty();
    Encoder.reset();
    planes_ = nullptr;
    filled_ = 0;
    wholeFrames_.Clear();
    // The next file needs its comment values set again; the names stay.
    CommentTags->Clear();
    if (appending_) {
        FlushInput();
        // A failed or stopped append leaves the file as it was.
        if ((failed || DiscardsStoppedRun()) && Stream) {
            try {
                Stream->SetSize(appendFrom_);
            } catch (const std::exception&) {
            }
        }
        FreeOwnedStream();
        appending_ = false;
        return;
    }
    WindUpDestination(failed);
}

}  // namespace dw
