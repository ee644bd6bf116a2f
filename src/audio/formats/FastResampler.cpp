#include "audio/formats/FastResampler.h"

#include "audio/formats/ConvertSamples.h"
#include "audio/formats/ResamplePcm.h"
#include "audio/formats/ResampleStream.h"
#include "audio/stream/AuException.h"

#include <algorithm>

namespace dw {

namespace {
constexpr uint32_t kMaxRateRatio = 32;   // keeps the filter and the buffers bounded
constexpr uint32_t kMaxRate = 1000000;   // Hz
constexpr uint32_t kMaxChannels = 255;
constexpr std::size_t kBlockFrames = 8192;  // input frames per read
}

TFastResampler::TFastResampler() = default;

TFastResampler::~TFastResampler() = default;

uint32_t TFastResampler::GetBitsPerSample()
{
    if (!Input)
        throw EAuException("Input is not assigned");
    return TAuConverter::GetBitsPerSample();
}

uint32_t TFastResampler::GetChannels()
{
    if (!Input)
        throw EAuException("Input is not assigned");
    return TAuConverter::GetChannels();
}

uint32_t TFastResampler::GetSampleRate()
{
    if (!Input)
        throw EAuException("Input is not assigned");
    return OutSampleRate;
}

int64_t TFastResampler::OutputFrames(int64_t inFrames, uint32_t inRate, uint32_t outRate)
{
    if (inFrames <= 0 || inRate == 0)
        return 0;
    // Whole seconds apart so that the products stay far below 2^63.
    const int64_t seconds = inFrames / inRate, rest = inFrames % inRate;
    return seconds * int64_t(outRate) + (2 * rest * int64_t(outRate) + int64_t(inRate)) / (2 * int64_t(inRate));
}

void TFastResampler::DoInit()
{
    if (!Input)
        throw EAuException("Input is not assigned");
    Passthrough = false;
    releaseBuffers();

    const uint32_t bits = GetBitsPerSample();
    const uint32_t channels = Input->GetChannels();
    InRate = Input->GetSampleRate();
    OutRate = OutSampleRate;
    if (InRate == 0 || OutRate == 0)
        throw EAuException("Invalid sample rate");
    const bool passthrough = InRate == OutRate;
    if (!passthrough) {
        // Rates come from file headers: keep the filter and the buffers bounded.
        if (std::max(InRate, OutRate) > kMaxRate)
            throw EAuException("Invalid sample rate");
        if (uint64_t(std::max(InRate, OutRate)) > uint64_t(kMaxRateRatio) * std::min(InRate, OutRate))
            throw EAuException("Sample rate ratio out of range");
        if (!IsSupportedPcmWidth(int(bits)) || channels == 0 || channels > kMaxChannels)
            throw EAuException("Unsupported sample format");
        Stream = std::make_unique<TResampleStream>(double(InRate), double(OutRate), channels);
    }

    Busy = true;
    Input->Init();

    BytesPerSample = static_cast<uint16_t>(bits >> 3);
    FrameBytes = static_cast<uint16_t>(channels * BytesPerSample);
    ChannelCount = static_cast<uint16_t>(channels);
    Position = 0;
    BufStart = 0;
    BufEnd = 0;

    const int64_t inSize = Input->GetSize();
    Passthrough = passthrough;
    if (Passthrough) {
        Size = inSize;
        return;
    }

    BlockFrames = kBlockFrames;
    OutCapacity = std::size_t(OutputFrames(int64_t(BlockFrames), InRate, OutRate)) + 16;
    InBytes.assign(BlockFrames * FrameBytes, 0);
    InFloat.assign(BlockFrames * ChannelCount, 0.0f);
    OutFloat.assign(OutCapacity * ChannelCount, 0.0f);
    OutBytes.assign(OutCapacity * FrameBytes, 0);
    InOffset = InPending = 0;
    InFrames = OutFrames = 0;
    InputEnded = Finished = false;

    Size = inSize > 0 ? OutputFrames(inSize / FrameBytes, InRate, OutRate) * FrameBytes : inSize;
}

void TFastResampler::releaseBuffers()
{
    std::vector<uint8_t>().swap(InBytes);
    std::vector<float>().swap(InFloat);
    std::vector<float>().swap(OutFloat);
    std::vector<uint8_t>().swap(OutBytes);
    Stream.reset();
}

void TFastResampler::DoFlush()
{
    if (Input)
        Input->Flush();
    releaseBuffers();
    Busy = false;
}

// Reads the next block of input into InFloat; false at the end of the input
// (a partial frame at the very end is dropped).
bool TFastResampler::readBlock()
{
    bool endOfInput = false;
    const uint32_t got = Input->FillBuffer(InBytes.data(), uint32_t(BlockFrames * FrameBytes), endOfInput);
    const std::size_t n = got / FrameBytes;
    if (n == 0)
        return false;
    ResamplePcmToFloat(InBytes.data(), InFloat.data(), n * ChannelCount, BytesPerSample);
    InOffset = 0;
    InPending = n;
    InFrames += int64_t(n);
    return true;
}

// Runs the filter until it gives output; the output frames in OutFloat, 0 at
// the end. After the last input the tail is drained and the total cut or
// padded with silence to OutputFrames(input frames), so the length never
// depends on how the library rounds.
std::size_t TFastResampler::refill()
{
    while (!Finished) {
        if (InPending == 0 && !InputEnded && !readBlock())
            InputEnded = true;
        std::size_t made = 0;
        if (InPending > 0) {
            std::size_t used = 0;
            made = Stream->Process(InFloat.data() + InOffset * ChannelCount, InPending, used, OutFloat.data(),
                                   OutCapacity);
            InOffset += used;
            InPending -= used;
        } else {
            const int64_t left = OutputFrames(InFrames, InRate, OutRate) - OutFrames;
            const std::size_t wanted = std::size_t(std::max<int64_t>(left, 0));
            made = std::min(Stream->Drain(OutFloat.data(), OutCapacity), wanted);
            if (made == 0 && left > 0) {
                made = std::min<std::size_t>(OutCapacity, std::size_t(left));
                std::fill_n(OutFloat.begin(), made * ChannelCount, 0.0f);
            }
            if (made == 0)
                Finished = true;
        }
        if (made > 0) {
            OutFrames += int64_t(made);
            return made;
        }
    }
    return 0;
}

void TFastResampler::DoGetData(void*& buffer, uint32_t& bytes)
{
    if (Passthrough && Input) {
        Input->GetData(buffer, bytes);
        return;
    }
    if (!Busy || !Stream || !Input)
        throw EAuException("The Stream is not opened");

    if (BufStart >= BufEnd) {
        BufStart = 0;
        BufEnd = 0;
        const std::size_t m = refill();
        if (m == 0) {
            buffer = nullptr;
            bytes = 0;
            return;
        }
        ResampleFloatToPcm(OutFloat.data(), OutBytes.data(), m * ChannelCount, BytesPerSample);
        BufEnd = static_cast<uint32_t>(m * FrameBytes);
    }

    bytes = std::min(bytes, BufEnd - BufStart);
    buffer = OutBytes.data() + BufStart;
    BufStart += bytes;
}

}  // namespace dw
