#pragma once
// Helpers of the WAV reader/writer tests: running the peer tools (sox,
// ffmpeg, ffprobe), reading a whole input, running an output to its end,
// and a tone input that can announce a size other than what it delivers.

#include "audio/stream/AuFileOut.h"
#include "audio/stream/AuInput.h"
#include "audio/stream/AuOutput.h"
#include "support/TestSupport.h"
#include "ConvertTestInput.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <cstdint>
#include <numbers>
#include <stdexcept>
#include <vector>

namespace dwtest {

inline QByteArray readAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

inline void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write test file");
}

inline std::vector<int16_t> s16(const QByteArray& b)
{
    std::vector<int16_t> v(static_cast<size_t>(b.size()) / 2);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<int16_t>(static_cast<uint8_t>(b[2 * i]) | (static_cast<uint8_t>(b[2 * i + 1]) << 8));
    return v;
}

inline std::vector<int32_t> s32(const QByteArray& b)
{
    std::vector<int32_t> v(static_cast<size_t>(b.size()) / 4);
    for (size_t i = 0; i < v.size(); ++i) {
        uint32_t u = 0;
        for (int k = 0; k < 4; ++k)
            u |= static_cast<uint32_t>(static_cast<uint8_t>(b[4 * i + k])) << (8 * k);
        v[i] = static_cast<int32_t>(u);
    }
    return v;
}

// Little-endian pieces for hand-made WAV files.
inline QByteArray le16(uint16_t v)
{
    QByteArray b(2, '\0');
    b[0] = static_cast<char>(v & 0xFF);
    b[1] = static_cast<char>(v >> 8);
    return b;
}
inline QByteArray le32(uint32_t v)
{
    return le16(static_cast<uint16_t>(v & 0xFFFF)) + le16(static_cast<uint16_t>(v >> 16));
}
inline QByteArray chunk(const char* id, const QByteArray& body)
{
    return QByteArray(id, 4) + le32(static_cast<uint32_t>(body.size())) + body;
}
// The 16 fixed bytes of a "fmt " chunk.
inline QByteArray fmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t align, uint16_t bits)
{
    return le16(tag) + le16(channels) + le32(rate) + le32(rate * align) + le16(align) + le16(bits);
}
inline QByteArray riff(const QByteArray& chunks)
{
    return "RIFF" + le32(static_cast<uint32_t>(chunks.size() + 4)) + "WAVE" + chunks;
}

// Reads an input from Init to its end in requests of `request` bytes.
inline QByteArray readInput(dw::TAuInput& in, uint32_t request = 16384)
{
    const std::vector<uint8_t> bytes = drain(in, request);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

// Runs an output and waits until its run is over (OnDone or idle).
inline bool runToEnd(dw::TAuOutput& out, std::chrono::milliseconds timeout = std::chrono::seconds(60))
{
    bool done = false;
    out.OnDone = [&done](dw::TAuOutput*) { done = true; };
    out.Run();
    const bool ok = waitFor([&] { return done; }, timeout);
    out.OnDone = nullptr;
    return ok;
}

// Encodes PCM from memory into path through a file output; returns the
// run's exception message (empty when it went well).
inline QString encodeFromMemory(dw::TAuFileOut& out, const QString& path, std::vector<uint8_t> pcm, int rate,
                                int channels, int bits, uint32_t chunk = 16384)
{
    MemoryPcmInput in(std::move(pcm), rate, channels, bits, chunk);
    out.SetInput(&in);
    out.SetFileName(path);
    EXPECT_TRUE(runToEnd(out));
    out.SetInput(nullptr);
    return out.GetExceptionMessage();
}

// Interleaved 16-bit tones: channel c carries freq * (c + 1).
inline QByteArray toneBytes(int frames, int channels, int rate, double freq = 440, double amp = 0.5)
{
    QByteArray b(frames * channels * 2, '\0');
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) {
            const double v = amp * std::sin(2 * std::numbers::pi * freq * (c + 1) * i / rate);
            const auto s = static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 32767)));
            b[(i * channels + c) * 2] = static_cast<char>(s & 0xFF);
            b[(i * channels + c) * 2 + 1] = static_cast<char>(s >> 8);
        }
    return b;
}

// An input over bytes in memory that announces `announced` as its Size
// (which may differ from what it holds) and delivers in chunks of `chunk`.
// With failAfter >= 0 it raises once that many bytes were delivered.
class ScriptedInput : public dw::TAuInput {
public:
    ScriptedInput(QByteArray data, uint32_t rate, uint32_t channels, uint32_t bits, int64_t announced,
                  uint32_t chunk = 4096, int64_t failAfter = -1)
        : data_(std::move(data)), rate_(rate), channels_(channels), bits_(bits), announced_(announced),
          chunk_(chunk), failAfter_(failAfter)
    {
    }
    uint32_t GetBitsPerSample() override { return bits_; }
    uint32_t GetChannels() override { return channels_; }
    uint32_t GetSampleRate() override { return rate_; }

    std::atomic<int64_t> delivered{0};
    // Once blockAfter bytes are delivered, reads wait until `gate` opens
    // (lets a test stop a run midway).
    int64_t blockAfter = -1;
    std::atomic<bool> gate{false};

protected:
    void DoInit() override
    {
        Busy = true;
        offset_ = 0;
        delivered = 0;
        Position = 0;
        Size = announced_;
    }
    void DoFlush() override { Busy = false; }
    void DoGetData(void*& buffer, uint32_t& bytes) override
    {
        if (failAfter_ >= 0 && delivered >= failAfter_)
            throw std::runtime_error("input failed on purpose");
        if (blockAfter >= 0 && delivered >= blockAfter) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (!gate && std::chrono::steady_clock::now() < until)
                std::this_thread::yield();
        }
        const int64_t left = data_.size() - offset_;
        bytes = static_cast<uint32_t>(std::min<int64_t>({static_cast<int64_t>(bytes), chunk_, left}));
        buffer = data_.data() + offset_;
        offset_ += bytes;
        delivered += bytes;
        Position += bytes;
    }

private:
    QByteArray data_;
    uint32_t rate_, channels_, bits_;
    int64_t announced_;
    uint32_t chunk_;
    int64_t failAfter_;
    int64_t offset_ = 0;
};

}  // namespace dwtest
