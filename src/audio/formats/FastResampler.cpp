#include "audio/formats/FastResampler.h"

#include "audio/formats/ConvertSamples.h"
#include "audio/stream/AuException.h"

#include <algorithm>
#include <cmath>

namespace dw {

namespace {
constexpr uint32_t kMaxRateRatio = 32;  // cutoff 0.85 / 64 = 1.3 % of the higher rate
constexpr uint32_t kMaxRate = 1000000;  // Hz
constexpr uint32_t kMaxChannels = 255;
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

// Bytes the engine produces from inputBytes bytes delivered a refill at a time.
int64_t TFastResampler::outputBytesFor(int64_t inputBytes) const
{
    const int64_t inFrames = inputBytes / FrameBytes;
    const int64_t fullBlocks = inFrames / InRate5;
    const int64_t rest = inFrames % InRate5;
    const int64_t frames =
        fullBlocks * int64_t(Engine->OutputFrames(InRate5)) + int64_t(Engine->OutputFrames(std::size_t(rest)));
    return frames * FrameBytes;
}

void TFastResampler::DoInit()
{
    if (!Input)
        throw EAuException("Input is not assigned");
    Passthrough = false;
    releaseBuffers();

    const uint32_t bits = GetBitsPerSample();
    const uint32_t channels = Input->GetChannels();
    const uint32_t inRate = Input->GetSampleRate();
    InRate5 = inRate / 5;
    OutRate5 = OutSampleRate / 5;
    if (InRate5 == 0 || OutRate5 == 0)
        throw EAuException("Invalid sample rate");
    if (InRate5 != OutRate5) {
        // Rates come from file headers: keep the per-refill buffers bounded.
        if (std::max(InRate5, OutRate5) > kMaxRate / 5)
            throw EAuException("Invalid sample rate");
        // The single-precision 4-pole design loses stability when the cutoff
        // falls below about 0.5 % of the filter rate; refuse ratios that need it.
        if (std::max(InRate5, OutRate5) > kMaxRateRatio * std::min(InRate5, OutRate5))
            throw EAuException("Sample rate ratio out of range");
        if (!IsSupportedPcmWidth(int(bits)) || channels == 0 || channels > kMaxChannels)
            throw EAuException("Unsupported sample format");
    }

    Busy = true;
    Input->Init();

    BytesPerSample = static_cast<uint16_t>(bits >> 3);
    FrameBytes = static_cast<uint16_t>(channels * BytesPerSample);
    ChannelCount = static_cast<uint16_t>(channels);
    Position = 0;

    InStep = InRate5 * FrameBytes;
    OutStep = FrameBytes * OutRate5;
    BufStart = 0;
    BufEnd = 0;

    const int64_t inSize = Input->GetSize();
    Passthrough = InStep == OutStep;
    if (Passthrough) {
        Size = inSize;
        return;
    }

    Capacity = ResampleEngine::CapacityFor(InRate5, OutRate5);
    ByteBuffer.assign(std::size_t(FrameBytes) * Capacity, 0);
    FloatBuffer.assign(std::size_t(ChannelCount) * Capacity, 0.0f);
    FilteredBuffer.assign(std::size_t(ChannelCount) * Capacity, 0.0f);
    Engine = std::make_unique<ResampleEngine>(ChannelCount, InStep, OutStep, Capacity);

    // The exact number of bytes the refills will produce, so that the length
    // is a whole number of frames and nothing is cut off at the end.
    Size = inSize > 0 ? outputBytesFor(inSize) : inSize;
}

void TFastResampler::releaseBuffers()
{
    std::vector<uint8_t>().swap(ByteBuffer);
    std::vector<float>().swap(FloatBuffer);
    std::vector<float>().swap(FilteredBuffer);
    Engine.reset();
}

void TFastResampler::DoFlush()
{
    if (Input)
        Input->Flush();
    releaseBuffers();
    Busy = false;
}

void TFastResampler::DoGetData(void*& buffer, uint32_t& bytes)
{
    if (Passthrough && Input) {
        Input->GetData(buffer, bytes);
        return;
    }
    if (!Busy || !Engine || !Input)
        throw EAuException("The Stream is not opened");

    if (BufStart >= BufEnd) {
        BufStart = 0;
        BufEnd = 0;
        bool endOfInput = false;
        const uint32_t got = Input->FillBuffer(ByteBuffer.data(), InStep, endOfInput);
        const std::size_t n = got / FrameBytes;
        if (n == 0) {
            buffer = nullptr;
            bytes = 0;
            return;
        }
        PcmToFloat(ByteBuffer.data(), FloatBuffer.data(), n * ChannelCount, BytesPerSample);
        const std::size_t m = Engine->Process(FloatBuffer.data(), n, FilteredBuffer.data());
        FloatToPcm(FilteredBuffer.data(), ByteBuffer.data(), m * ChannelCount, BytesPerSample);
        BufEnd = static_cast<uint32_t>(m * FrameBytes);
    }

    bytes = std::min(bytes, BufEnd - BufStart);
    buffer = ByteBuffer.data() + BufStart;
    BufStart += bytes;
}

}  // namespace dw
