// Whole chains on the worker thread of a real WAV output, file to file:
// a same-format copy, 44.1 kHz 16-bit stereo to 22.05 kHz 8-bit mono, and
// PCM to IMA ADPCM. Ten seconds of audio per run.

#include "BenchSignals.h"

#include "audio/formats/AudioConverter.h"
#include "audio/formats/FastResampler.h"
#include "audio/formats/WaveIn.h"
#include "audio/formats/WaveOut.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <stdexcept>

namespace {

constexpr uint32_t kRate = 44100;
constexpr std::size_t kSeconds = 10;

void put(QByteArray& b, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        b.append(char(uint8_t(v >> (8 * i))));
}

// A 44-byte-header PCM file of 16-bit stereo.
void writeWav(const QString& path, const std::vector<uint8_t>& data)
{
    QByteArray h("RIFF");
    put(h, uint32_t(36 + data.size()), 4);
    h.append("WAVEfmt ");
    put(h, 16, 4);
    put(h, 1, 2);
    put(h, 2, 2);
    put(h, kRate, 4);
    put(h, kRate * 4, 4);
    put(h, 4, 2);
    put(h, 16, 2);
    h.append("data");
    put(h, uint32_t(data.size()), 4);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        throw std::runtime_error("cannot write the fixture");
    f.write(h);
    f.write(reinterpret_cast<const char*>(data.data()), qint64(data.size()));
}

struct Fixture {
    QTemporaryDir dir;
    QString in, out;
    Fixture()
    {
        in = dir.filePath("in.wav");
        out = dir.filePath("out.wav");
        writeWav(in, dwbench::asBytes(dwbench::testSignal(kRate * kSeconds, 2)));
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

// Runs the output and services the main thread until its OnDone arrives.
void runToEnd(dw::TWaveOut& out, benchmark::State& state)
{
    bool done = false;
    out.OnDone = [&](dw::TAuOutput*) { done = true; };
    out.Run();
    QDeadlineTimer deadline(120000);
    while (!done && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (!done || !out.GetExceptionMessage().isEmpty())
        state.SkipWithError("the chain did not finish cleanly");
}

void copySameFormat(benchmark::State& state)
{
    auto& fx = fixture();
    dw::TWaveIn in;
    in.SetFileName(fx.in);
    dw::TWaveOut out;
    out.SetInput(&in);
    out.SetFileName(fx.out);
    for (auto _ : state)
        runToEnd(out, state);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kRate * kSeconds * 4));
}

void toMono8At22050(benchmark::State& state)
{
    auto& fx = fixture();
    dw::TWaveIn in;
    in.SetFileName(fx.in);
    dw::TFastResampler rs;
    rs.SetInput(&in);
    rs.SetOutSampleRate(22050);
    dw::TAudioConverter conv;
    conv.SetInput(&rs);
    conv.SetOutChannels(1);
    conv.SetOutBitsPerSample(8);
    dw::TWaveOut out;
    out.SetInput(&conv);
    out.SetFileName(fx.out);
    for (auto _ : state)
        runToEnd(out, state);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kRate * kSeconds * 4));
}

void toImaAdpcm(benchmark::State& state)
{
    auto& fx = fixture();
    dw::TWaveIn in;
    in.SetFileName(fx.in);
    dw::TWaveOut out;
    out.SetInput(&in);
    out.SetWavType(dw::wtDVIADPCM);
    out.SetFileName(fx.out);
    for (auto _ : state)
        runToEnd(out, state);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kRate * kSeconds * 4));
}

}  // namespace

BENCHMARK(copySameFormat)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(toMono8At22050)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(toImaAdpcm)->Unit(benchmark::kMillisecond)->UseRealTime();
