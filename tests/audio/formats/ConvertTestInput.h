#pragma once
// Test fixtures for the converters: an input that serves PCM bytes from
// memory in chunks of a chosen size (so that frames can be split across
// reads), and helpers to make and measure signals.

#include "audio/stream/AuException.h"
#include "audio/stream/AuInput.h"

#include <QByteArray>
#include <QString>

#include <QtGlobal>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace dwtest {

class MemoryPcmInput : public dw::TAuInput {
public:
    MemoryPcmInput(std::vector<uint8_t> data, uint32_t rate, uint32_t channels, uint32_t bits,
                   uint32_t chunk = 16384, bool knownSize = true)
        : data_(std::move(data)), rate_(rate), channels_(channels), bits_(bits), chunk_(chunk), knownSize_(knownSize)
    {
    }

    uint32_t GetBitsPerSample() override { return bits_; }
    uint32_t GetChannels() override { return channels_; }
    uint32_t GetSampleRate() override { return rate_; }

    int initCount = 0, flushCount = 0;

protected:
    void DoInit() override
    {
        ++initCount;
        Busy = true;
        offset_ = 0;
        Position = 0;
        Size = knownSize_ ? int64_t(data_.size()) : -1;
    }
    void DoFlush() override
    {
        ++flushCount;
        Busy = false;
    }
    void DoGetData(void*& buffer, uint32_t& bytes) override
    {
        const size_t left = data_.size() - offset_;
        bytes = uint32_t(std::min<size_t>({size_t(bytes), size_t(chunk_), left}));
        buffer = data_.data() + offset_;
        offset_ += bytes;
        Position += bytes;
    }

private:
    std::vector<uint8_t> data_;
    uint32_t rate_, channels_, bits_, chunk_;
    bool knownSize_;
    size_t offset_ = 0;
};

// Reads an input to its end in requests of `request` bytes (Init and Flush included).
inline std::vector<uint8_t> drain(dw::TAuInput& in, uint32_t request = 16384)
{
    std::vector<uint8_t> out;
    in.Init();
    for (;;) {
        void* buf = nullptr;
        uint32_t n = request;
        in.GetData(buf, n);
        if (n == 0)
            break;
        const auto* p = static_cast<const uint8_t*>(buf);
        out.insert(out.end(), p, p + n);
    }
    in.Flush();
    return out;
}

// Reads an input from Init until it ends or fails; what came before the
// failure, and the failure's message in *message (empty when it ended).
inline QByteArray readUntilFailure(dw::TAuInput& in, QString* message)
{
    QByteArray got;
    message->clear();
    try {
        in.Init();
        for (;;) {
            void* buffer = nullptr;
            uint32_t bytes = 4096;
            in.GetData(buffer, bytes);
            if (bytes == 0)
                break;
            got.append(static_cast<const char*>(buffer), qsizetype(bytes));
        }
    } catch (const dw::EAuException& e) {
        *message = e.Message();
    }
    in.Flush();
    return got;
}

inline std::vector<uint8_t> fromS16(const std::vector<int16_t>& s)
{
    std::vector<uint8_t> b(s.size() * 2);
    for (size_t i = 0; i < s.size(); ++i) {
        b[2 * i] = uint8_t(uint16_t(s[i]));
        b[2 * i + 1] = uint8_t(uint16_t(s[i]) >> 8);
    }
    return b;
}

inline std::vector<int16_t> toS16(const std::vector<uint8_t>& b)
{
    std::vector<int16_t> s(b.size() / 2);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = int16_t(uint16_t(b[2 * i]) | (uint16_t(b[2 * i + 1]) << 8));
    return s;
}

// Interleaved 16-bit sine of `frames` frames; every channel carries the same tone.
inline std::vector<int16_t> sineS16(double freq, double rate, size_t frames, int channels, double amplitude)
{
    std::vector<int16_t> s(frames * channels);
    for (size_t i = 0; i < frames; ++i) {
        const double v = amplitude * std::sin(2 * std::numbers::pi * freq * double(i) / rate);
        for (int c = 0; c < channels; ++c)
            s[i * channels + c] = int16_t(std::lround(v * 32767));
    }
    return s;
}

// One channel of interleaved 16-bit samples as doubles in -1 ... 1.
inline std::vector<double> channel(const std::vector<int16_t>& s, int channels, int c, size_t skip = 0)
{
    std::vector<double> v;
    for (size_t i = skip * channels + c; i < s.size(); i += channels)
        v.push_back(s[i] / 32768.0);
    return v;
}

// Amplitude of the component at `freq` (Goertzel over the whole signal).
inline double toneAmplitude(const std::vector<double>& x, double freq, double rate)
{
    const double w = 2 * std::numbers::pi * freq / rate;
    double re = 0, im = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        re += x[i] * std::cos(w * double(i));
        im -= x[i] * std::sin(w * double(i));
    }
    return 2 * std::hypot(re, im) / double(x.size());
}

inline double rms(const std::vector<double>& x)
{
    double s = 0;
    for (double v : x)
        s += v * v;
    return x.empty() ? 0 : std::sqrt(s / double(x.size()));
}

}  // namespace dwtest
