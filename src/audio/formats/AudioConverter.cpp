#include "audio/formats/AudioConverter.h"

#include "audio/formats/ConvertSamples.h"
#include "audio/formats/SampleWidth.h"
#include "audio/stream/AuException.h"

#include <algorithm>
#include <cmath>

namespace dw {

namespace {
constexpr uint32_t kMaxFrames = 65536;
}

TAudioConverter::TAudioConverter() = default;

TAudioConverter::~TAudioConverter() = default;

uint32_t TAudioConverter::GetBitsPerSample()
{
    if (OutBitsPerSample != 0)
        return OutBitsPerSample;
    return Input ? TAuConverter::GetBitsPerSample() : 0;
}

uint32_t TAudioConverter::GetChannels()
{
    if (!Input)
        return 0;
    const uint32_t in = Input->GetChannels();
    const bool monoOrStereo = [](uint32_t c) { return c == 1 || c == 2; }(in);
    if (monoOrStereo && (OutChannels == 1 || OutChannels == 2))
        return OutChannels;
    return in;
}

void TAudioConverter::DoInit()
{
    if (!Input)
        throw EAuException("Input is not assigned");

    RunTransparent = OutBitsPerSample == 0 && OutChannels == 0;
    const uint32_t inBits = TAuConverter::GetBitsPerSample();
    const uint32_t inChannels = Input->GetChannels();
    RunOutBits = GetBitsPerSample();
    RunOutChannels = GetChannels();
    RunInChannels = inChannels;
    if (!RunTransparent && (!IsSupportedPcmWidth(int(inBits)) || !IsSupportedPcmWidth(int(RunOutBits))
                            || inChannels == 0))
        throw EAuException("Unsupported sample format");

    Input->Init();
    Busy = true;
    Position = 0;
    BufStart = 0;
    BufEnd = 0;
    InBytesPerSample = inBits / 8;
    OutBytesPerSample = RunOutBits / 8;

    const int64_t inSize = Input->GetSize();
    if (RunTransparent) {
        Size = inSize;
    } else if (inSize < 0) {
        Size = -1;
    } else {
        const double ratio = double(RunOutBits) * RunOutChannels / (double(inBits) * inChannels);
        const auto scaled = static_cast<int64_t>(std::nearbyint(double(inSize) * ratio));
        const int64_t frame = (RunOutBits * RunOutChannels) >> 3;
        Size = scaled - scaled % frame;
    }
    FrameCapacity = 0;
    RunDither.reset();
    if (!RunTransparent && DitherApplies(Dither, int(inBits), int(RunOutBits)))
        RunDither.emplace(DitherSeed);
}

void TAudioConverter::DoFlush()
{
    if (Input)
        Input->Flush();
    std::vector<uint8_t>().swap(InBuffer);
    std::vector<uint8_t>().swap(OutBuffer);
    std::vector<int64_t>().swap(WideBuffer);
    FrameCapacity = 0;
    RunDither.reset();
    Busy = false;
}

void TAudioConverter::DoGetData(void*& buffer, uint32_t& bytes)
{
    if (!Input)
        throw EAuException("Input is not assigned");
    if (RunTransparent) {
        Input->GetData(buffer, bytes);
        return;
    }

    // Hand out what is left of the last block first (a caller that asked for
    // less than a whole output frame).
    if (BufStart >= BufEnd) {
        BufStart = 0;
        BufEnd = 0;
        const uint32_t outFrameBytes = OutBytesPerSample * RunOutChannels;
        const uint32_t inFrameBytes = InBytesPerSample * RunInChannels;
        if (outFrameBytes == 0 || inFrameBytes == 0) {  // no run was set up
            buffer = nullptr;
            bytes = 0;
            return;
        }
        // At least one frame, and a bounded block however much the caller asks for.
        std::size_t frames = std::clamp<uint32_t>(bytes / outFrameBytes, 1, kMaxFrames);
        if (frames > FrameCapacity) {
            FrameCapacity = frames;
            InBuffer.resize(frames * inFrameBytes);
            OutBuffer.resize(frames * outFrameBytes);
            WideBuffer.resize(frames * std::max(RunInChannels, RunOutChannels));
        }
        // Gather whole input frames, so that a source that returns a split
        // frame does not shift the samples of everything after it.
        bool endOfInput = false;
        const uint32_t got = Input->FillBuffer(InBuffer.data(), uint32_t(frames * inFrameBytes), endOfInput);
        frames = got / inFrameBytes;
        if (frames == 0) {
            buffer = nullptr;
            bytes = 0;
            return;
        }
        PcmToWide(InBuffer.data(), WideBuffer.data(), frames * RunInChannels, int(InBytesPerSample));
        if (RunOutChannels == 2 && RunInChannels == 1)
            WideMonoToStereo(WideBuffer.data(), WideBuffer.data(), frames);
        else if (RunOutChannels == 1 && RunInChannels == 2)
            WideStereoToMono(WideBuffer.data(), WideBuffer.data(), frames);
        WideToPcm(WideBuffer.data(), OutBuffer.data(), frames * RunOutChannels, int(OutBytesPerSample),
                  RunDither ? &*RunDither : nullptr);
        BufEnd = uint32_t(frames * outFrameBytes);
    }
    bytes = std::min(bytes, BufEnd - BufStart);
    buffer = OutBuffer.data() + BufStart;
    BufStart += bytes;
}

}  // namespace dw
