// Resampler throughput: the whole converter (16-bit in and out) over ten
// seconds of stereo or mono at the input rate.

#include "BenchSignals.h"

#include "audio/formats/FastResampler.h"
#include "audio/stream/AuInput.h"

#include <benchmark/benchmark.h>

#include <algorithm>

namespace {

// Serves the same block of PCM over and over, as a file input would.
class LoopInput : public dw::TAuInput {
public:
    LoopInput(std::vector<uint8_t> block, uint32_t rate, uint32_t channels, int64_t total)
        : block_(std::move(block)), rate_(rate), channels_(channels), total_(total) {}
    uint32_t GetBitsPerSample() override { return 16; }
    uint32_t GetChannels() override { return channels_; }
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
    uint32_t rate_, channels_;
    int64_t total_, served_ = 0;
    std::size_t offset_ = 0;
};

void component(benchmark::State& state, uint32_t inRate, uint32_t outRate, int channels)
{
    const int64_t seconds = 10, bytes = seconds * inRate * 2 * channels;
    LoopInput src(dwbench::asBytes(dwbench::testSignal(inRate, channels, inRate)), inRate, uint32_t(channels), bytes);
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
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
    state.counters["x_realtime"] =
        benchmark::Counter(double(state.iterations()) * double(seconds), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK_CAPTURE(component, down_44100_22050, 44100, 22050, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(component, up_22050_44100, 22050, 44100, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(component, up_44100_48000, 44100, 48000, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(component, mono_up_44100_48000, 44100, 48000, 1)->Unit(benchmark::kMillisecond);
