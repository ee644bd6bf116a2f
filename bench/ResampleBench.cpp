// Resampler throughput: the float engine alone and the whole converter
// (integer in and out) over one second of 44.1 kHz or 22.05 kHz stereo.

#include "BenchSignals.h"

#include "audio/formats/ConvertSamples.h"
#include "audio/formats/FastResampler.h"
#include "audio/formats/ResampleEngine.h"
#include "audio/stream/AuInput.h"

#include <benchmark/benchmark.h>

#include <algorithm>

namespace {

// Serves the same block of PCM over and over, as a file input would.
class LoopInput : public dw::TAuInput {
public:
    LoopInput(std::vector<uint8_t> block, uint32_t rate, int64_t total)
        : block_(std::move(block)), rate_(rate), total_(total) {}
    uint32_t GetBitsPerSample() override { return 16; }
    uint32_t GetChannels() override { return 2; }
    uint32_t GetSampleRate() override { return rate_; }

protected:
    void DoInit() override { Busy = true; Size = total_; Position = 0; served_ = 0; offset_ = 0; }
    void DoFlush() override { Busy = false; }
    void DoGetData(void*& buffer, uint32_t& bytes) override
    {
        if (offset_ == block_.size())
            offset_ = 0;
        const int64_t left = total_ - served_;
        bytes = uint32_t(std::min<int64_t>({int64_t(bytes), int64_t(block_.size() - offset_), left}));
        buffer = block_.data() + offset_;
        offset_ += bytes;
        served_ += bytes;
        Position += bytes;
    }

private:
    std::vector<uint8_t> block_;
    uint32_t rate_;
    int64_t total_, served_ = 0;
    std::size_t offset_ = 0;
};

void engine(benchmark::State& state, uint32_t inRate, uint32_t outRate, bool vector)
{
    dw::ResampleEngine::SetVectorKernelAllowed(vector);
    if (vector && !dw::ResampleEngine::VectorKernelInUse())
        state.SkipWithError("no vector kernel on this CPU");
    const uint32_t in5 = inRate / 5, out5 = outRate / 5;
    const std::size_t cap = dw::ResampleEngine::CapacityFor(in5, out5);
    dw::ResampleEngine eng(2, in5 * 4, out5 * 4, cap);
    const auto pcm = dwbench::asBytes(dwbench::testSignal(in5, 2, inRate));
    std::vector<float> in(std::size_t(in5) * 2), out(cap * 2);
    dw::PcmToFloat(pcm.data(), in.data(), in.size(), 2);
    for (auto _ : state) {
        benchmark::DoNotOptimize(eng.Process(in.data(), in5, out.data()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(pcm.size()));
    state.counters["x_realtime"] = benchmark::Counter(double(state.iterations()) / 5, benchmark::Counter::kIsRate);
    dw::ResampleEngine::SetVectorKernelAllowed(true);
}

void component(benchmark::State& state, uint32_t inRate, uint32_t outRate)
{
    const int64_t seconds = 10;
    LoopInput src(dwbench::asBytes(dwbench::testSignal(inRate, 2, inRate)), inRate, seconds * inRate * 4);
    dw::TFastResampler r;
    r.SetInput(&src);
    r.SetOutSampleRate(outRate);
    for (auto _ : state) {
        r.Init();
        for (;;) {
            void* buf = nullptr;
            uint32_t n = 16384;
            r.GetData(buf, n);
            if (n == 0)
                break;
            benchmark::DoNotOptimize(buf);
        }
        r.Flush();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * seconds * inRate * 4);
    state.counters["x_realtime"] =
        benchmark::Counter(double(state.iterations()) * double(seconds), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK_CAPTURE(engine, down_44100_22050, 44100, 22050, true);
BENCHMARK_CAPTURE(engine, up_22050_44100, 22050, 44100, true);
BENCHMARK_CAPTURE(engine, up_44100_48000, 44100, 48000, true);
BENCHMARK_CAPTURE(engine, portable_down_44100_22050, 44100, 22050, false);
BENCHMARK_CAPTURE(engine, portable_up_22050_44100, 22050, 44100, false);
BENCHMARK_CAPTURE(component, down_44100_22050, 44100, 22050)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(component, up_22050_44100, 22050, 44100)->Unit(benchmark::kMillisecond);
