#include "audio/formats/Downmixer.h"

#include "audio/formats/ConvertSamples.h"
#include "audio/stream/AuException.h"

#include <algorithm>
#include <cmath>

namespace dw {

namespace {

constexpr uint32_t kFramesPerBlock = 8192;
constexpr float kMinus3dB = 0.70710678f;

bool mixes(uint32_t in, uint32_t out)
{
    return in >= TDownmixer::kMinInChannels && in <= TDownmixer::kMaxInChannels && (out == 1 || out == 2);
}

}  // namespace

TDownmixer::TDownmixer() = default;

TDownmixer::~TDownmixer() = default;

std::array<std::array<float, 2>, TDownmixer::kMaxInChannels> TDownmixer::Matrix(uint32_t channels)
{
    // Speaker positions in mask order: FL FR FC LFE BL BR FLC FRC.
    static constexpr std::array<std::array<float, 2>, kMaxInChannels> kBase = {{
        {1.0f, 0.0f},              // FL
        {0.0f, 1.0f},              // FR
        {kMinus3dB, kMinus3dB},    // FC
        {0.0f, 0.0f},              // LFE: left out, as BS.775 does
        {kMinus3dB, 0.0f},         // BL
        {0.0f, kMinus3dB},         // BR
        {1.0f, 0.0f},              // FLC
        {0.0f, 1.0f},              // FRC
    }};
    std::array<std::array<float, 2>, kMaxInChannels> m{};
    float sumLeft = 0, sumRight = 0;
    for (uint32_t c = 0; c < std::min(channels, kMaxInChannels); ++c) {
        m[c] = kBase[c];
        sumLeft += m[c][0];
        sumRight += m[c][1];
    }
    const float scale = 1.0f / std::max({sumLeft, sumRight, 1.0f});
    for (auto& row : m)
        for (float& v : row)
            v *= scale;
    return m;
}

uint32_t TDownmixer::GetChannels()
{
    if (!Input)
        return 0;
    const uint32_t in = Input->GetChannels();
    return mixes(in, OutChannels) ? OutChannels : in;
}

void TDownmixer::DoInit()
{
    if (!Input)
        throw EAuException("Input is not assigned");
    const uint32_t bits = Input->GetBitsPerSample();
    RunInChannels = Input->GetChannels();
    RunOutChannels = GetChannels();
    RunMixing = RunOutChannels != RunInChannels;
    if (RunMixing && !IsSupportedPcmWidth(static_cast<int>(bits)))
        throw EAuException("Unsupported sample format");
    Input->Init();
    Busy = true;
    Position = 0;
    BufStart = 0;
    BufEnd = 0;
    BytesPerSample = bits / 8;
    RunMatrix = Matrix(RunInChannels);
    const int64_t inSize = Input->GetSize();
    if (!RunMixing || inSize < 0) {
        Size = inSize;
    } else {
        Size = inSize / (static_cast<int64_t>(BytesPerSample) * RunInChannels) * BytesPerSample * RunOutChannels;
    }
    if (RunMixing) {
        InBuffer.resize(size_t(kFramesPerBlock) * BytesPerSample * RunInChannels);
        OutBuffer.resize(size_t(kFramesPerBlock) * BytesPerSample * RunOutChannels);
        FloatBuffer.resize(size_t(kFramesPerBlock) * RunInChannels);
    }
}

void TDownmixer::DoFlush()
{
    if (Input)
        Input->Flush();
    std::vector<uint8_t>().swap(InBuffer);
    std::vector<uint8_t>().swap(OutBuffer);
    std::vector<float>().swap(FloatBuffer);
    Busy = false;
}

void TDownmixer::DoGetData(void*& buffer, uint32_t& bytes)
{
    if (!Input)
        throw EAuException("Input is not assigned");
    if (!RunMixing) {
        Input->GetData(buffer, bytes);
        return;
    }
    if (BufStart >= BufEnd) {
        BufStart = 0;
        BufEnd = 0;
        const uint32_t inFrame = BytesPerSample * RunInChannels;
        const uint32_t outFrame = BytesPerSample * RunOutChannels;
        const uint32_t wanted = std::clamp<uint32_t>(bytes / outFrame, 1, kFramesPerBlock);
        bool endOfInput = false;
        // Whole input frames only, so a split frame cannot shift the channels.
        const uint32_t got = Input->FillBuffer(InBuffer.data(), wanted * inFrame, endOfInput);
        const uint32_t frames = got / inFrame;
        if (frames == 0) {
            buffer = nullptr;
            bytes = 0;
            return;
        }
        PcmToFloat(InBuffer.data(), FloatBuffer.data(), size_t(frames) * RunInChannels, int(BytesPerSample));
        float* out = FloatBuffer.data();  // written behind the reading point
        for (uint32_t f = 0; f < frames; ++f) {
            const float* in = FloatBuffer.data() + size_t(f) * RunInChannels;
            float left = 0, right = 0;
            for (uint32_t c = 0; c < RunInChannels; ++c) {
                left += RunMatrix[c][0] * in[c];
                right += RunMatrix[c][1] * in[c];
            }
            if (RunOutChannels == 1) {
                out[f] = (left + right) / 2;
            } else {
                out[2 * f] = left;
                out[2 * f + 1] = right;
            }
        }
        FloatToPcm(FloatBuffer.data(), OutBuffer.data(), size_t(frames) * RunOutChannels, int(BytesPerSample));
        BufEnd = frames * outFrame;
    }
    bytes = std::min(bytes, BufEnd - BufStart);
    buffer = OutBuffer.data() + BufStart;
    BufStart += bytes;
}

}  // namespace dw
