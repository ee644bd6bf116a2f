#include "player/LoopBuffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace dw {

namespace {

template <typename T>
T clampTo(double v, double lo, double hi)
{
    return static_cast<T>(std::lround(std::clamp(v, lo, hi)));
}

// Scales device-format samples in place by gain.
void applyGain(uint8_t* data, uint32_t len, SDL_AudioFormat format, float gain)
{
    if (format == AUDIO_U8) {
        for (uint32_t i = 0; i < len; ++i)
            data[i] = clampTo<uint8_t>((data[i] - 128.0) * gain + 128.0, 0, 255);
    } else if (format == AUDIO_S16LSB) {
        for (uint32_t i = 0; i + 2 <= len; i += 2) {
            int16_t s;
            std::memcpy(&s, data + i, 2);
            s = clampTo<int16_t>(s * double(gain), -32768, 32767);
            std::memcpy(data + i, &s, 2);
        }
    } else {
        for (uint32_t i = 0; i + 4 <= len; i += 4) {
            int32_t s;
            std::memcpy(&s, data + i, 4);
            s = clampTo<int32_t>(s * double(gain), -2147483648.0, 2147483647.0);
            std::memcpy(data + i, &s, 4);
        }
    }
}

}  // namespace

TLoopBuffer::TLoopBuffer(uint32_t bytes, uint32_t channels, uint32_t bits)
    : ring_(bytes, bits == 8 ? 128 : 0), bytes_(bytes), bits_(bits), frameBytes_(channels * (bits / 8))
{
}

SDL_AudioFormat TLoopBuffer::DeviceFormat() const
{
    switch (bits_) {
    case 8:
        return AUDIO_U8;
    case 16:
        return AUDIO_S16LSB;
    default:
        return AUDIO_S32LSB;
    }
}

void TLoopBuffer::Store(uint64_t at, const void* data, uint32_t n)
{
    const auto* src = static_cast<const uint8_t*>(data);
    const uint32_t off = static_cast<uint32_t>(at % bytes_);
    const uint32_t first = std::min(n, bytes_ - off);
    std::memcpy(ring_.data() + off, src, first);
    std::memcpy(ring_.data(), src + first, n - first);
}

void TLoopBuffer::StoreFill(uint64_t at, uint8_t value, uint32_t n)
{
    const uint32_t off = static_cast<uint32_t>(at % bytes_);
    const uint32_t first = std::min(n, bytes_ - off);
    std::memset(ring_.data() + off, value, first);
    std::memset(ring_.data(), value, n - first);
}

void TLoopBuffer::ResetCursors(uint64_t position)
{
    consumed_.store(position, std::memory_order_release);
    reading_.store(position, std::memory_order_release);
}

void SDLCALL TLoopBuffer::Callback(void* userdata, Uint8* stream, int len)
{
    static_cast<TLoopBuffer*>(userdata)->render(stream, len > 0 ? static_cast<uint32_t>(len) : 0);
}

// Copies ringBytes of ring data from absolute position `from` into out,
// widening 24-bit samples to 32 bits.
void TLoopBuffer::copyOut(uint64_t from, uint8_t* out, uint32_t ringBytes)
{
    uint32_t off = static_cast<uint32_t>(from % bytes_);
    if (bits_ != 24) {
        const uint32_t first = std::min(ringBytes, bytes_ - off);
        std::memcpy(out, ring_.data() + off, first);
        std::memcpy(out + first, ring_.data(), ringBytes - first);
        return;
    }
    for (uint32_t i = 0; i < ringBytes; i += 3) {
        const uint8_t* s = ring_.data() + off;
        out[0] = 0;
        out[1] = s[0];
        out[2] = s[1];
        out[3] = s[2];
        out += 4;
        off += 3;
        if (off >= bytes_)
            off -= bytes_;
    }
}

void TLoopBuffer::render(uint8_t* out, uint32_t len)
{
    const SDL_AudioFormat format = DeviceFormat();
    const uint8_t silence = SilenceByte();
    if (!playing_.load(std::memory_order_acquire)) {
        std::memset(out, silence, len);
        return;
    }
    // Ring bytes behind len device bytes (24-bit samples take 3 of every 4).
    const uint32_t deviceFrame = bits_ == 24 ? frameBytes_ / 3 * 4 : frameBytes_;
    const uint32_t frames = len / deviceFrame;
    const uint32_t ringLen = frames * frameBytes_;
    const uint64_t start = consumed_.load(std::memory_order_relaxed);
    reading_.store(start + ringLen, std::memory_order_release);
    const uint64_t valid = written_.load(std::memory_order_acquire);
    const uint32_t have = valid > start ? static_cast<uint32_t>(std::min<uint64_t>(ringLen, valid - start)) : 0;
    const uint32_t haveOut = have / frameBytes_ * deviceFrame;
    copyOut(start, out, have / frameBytes_ * frameBytes_);
    std::memset(out + haveOut, silence, len - haveOut);
    if (have < ringLen)
        starved_.fetch_add(ringLen - have, std::memory_order_relaxed);
    const float gain = gain_.load(std::memory_order_relaxed);
    if (gain != 1.0f)
        applyGain(out, haveOut, format, gain);
    consumed_.store(start + ringLen, std::memory_order_release);
}

}  // namespace dw
