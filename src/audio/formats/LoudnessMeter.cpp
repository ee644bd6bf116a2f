#include "audio/formats/LoudnessMeter.h"

#include "audio/formats/ConvertSamples.h"
#include "audio/stream/AuException.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace dw {

namespace {
// Frames converted to float and handed to libebur128 per call.
constexpr size_t kFramesPerBlock = 4096;
}  // namespace

struct TLoudnessMeter::State {
    ebur128_state* st = nullptr;
    State() = default;
    ~State() { ebur128_destroy(&st); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;
};

TLoudnessMeter::TLoudnessMeter(uint32_t channels, uint32_t sampleRate, uint32_t bitsPerSample)
    : channels_(channels), bytesPerSample_(bitsPerSample / 8), frameBytes_(channels * (bitsPerSample / 8))
{
    if (channels == 0 || channels > kMaxChannels || sampleRate < kMinSampleRate || sampleRate > kMaxSampleRate
        || !IsSupportedPcmWidth(int(bitsPerSample)))
        throw EAuException("Unsupported sample format");
    state_ = std::make_unique<State>();
    state_->st = ebur128_init(channels, sampleRate, EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    if (!state_->st)
        throw EAuException("Out of memory while setting up the loudness measurement");
    carry_.reserve(frameBytes_);
    floats_.resize(kFramesPerBlock * channels_);
}

TLoudnessMeter::~TLoudnessMeter() = default;

void TLoudnessMeter::Add(const void* data, size_t bytes)
{
    const auto* p = static_cast<const uint8_t*>(data);
    if (!p || bytes == 0)
        return;
    // Complete a frame split by the last call first.
    if (!carry_.empty()) {
        const size_t take = std::min(bytes, size_t(frameBytes_) - carry_.size());
        carry_.insert(carry_.end(), p, p + take);
        p += take;
        bytes -= take;
        if (carry_.size() < frameBytes_)
            return;
        addWholeFrames(carry_.data(), 1);
        carry_.clear();
    }
    const size_t whole = bytes / frameBytes_;
    addWholeFrames(p, whole);
    carry_.assign(p + whole * frameBytes_, p + bytes);
}

void TLoudnessMeter::addWholeFrames(const uint8_t* data, size_t frames)
{
    while (frames > 0) {
        const size_t n = std::min(frames, kFramesPerBlock);
        PcmToFloat(data, floats_.data(), n * channels_, int(bytesPerSample_));
        if (ebur128_add_frames_float(state_->st, floats_.data(), n) != EBUR128_SUCCESS)
            throw EAuException("Out of memory while measuring loudness");
        data += n * frameBytes_;
        frames -= n;
        frames_ += n;
    }
}

double TLoudnessMeter::truePeak()
{
    double out = 0.0;
    for (uint32_t c = 0; c < channels_; ++c) {
        double peak = 0.0;
        if (ebur128_true_peak(state_->st, c, &peak) == EBUR128_SUCCESS)
            out = std::max(out, peak);
    }
    return out;
}

TLoudness TLoudnessMeter::Result()
{
    return Combine({this});
}

TLoudness TLoudnessMeter::Combine(const std::vector<TLoudnessMeter*>& meters)
{
    TLoudness out;
    std::vector<ebur128_state*> states;
    states.reserve(meters.size());
    for (TLoudnessMeter* m : meters) {
        if (!m)
            continue;
        states.push_back(m->state_->st);
        out.truePeak = std::max(out.truePeak, m->truePeak());
    }
    double lufs = -HUGE_VAL;
    if (!states.empty() && ebur128_loudness_global_multiple(states.data(), states.size(), &lufs) == EBUR128_SUCCESS
        && std::isfinite(lufs)) {
        out.measured = true;
        out.integratedLufs = lufs;
    }
    return out;
}

}  // namespace dw
