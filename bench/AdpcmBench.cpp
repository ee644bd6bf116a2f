// ADPCM codec throughput: IMA encode and decode, Microsoft ADPCM decode,
// over ten seconds of 44.1 kHz stereo in 2048-byte blocks.

#include "BenchSignals.h"

#include "audio/formats/ImaAdpcm.h"
#include "audio/formats/MsAdpcm.h"

#include <benchmark/benchmark.h>

#include <array>

namespace {

constexpr int kChannels = 2;
constexpr int kBlockAlign = 2048;
constexpr std::size_t kFrames = 441000;

std::vector<uint8_t> imaEncodeAll(const std::vector<int16_t>& pcm, int fpb)
{
    const std::size_t blocks = kFrames / std::size_t(fpb);
    std::vector<uint8_t> out(blocks * kBlockAlign);
    std::array<dw::ima::ChannelState, 2> st{};
    for (std::size_t b = 0; b < blocks; ++b)
        dw::ima::encodeBlock(std::span<const int16_t>(pcm.data() + b * fpb * kChannels, std::size_t(fpb) * kChannels),
                             kChannels, st, std::span<uint8_t>(out.data() + b * kBlockAlign, kBlockAlign));
    return out;
}

void imaEncode(benchmark::State& state)
{
    const auto pcm = dwbench::testSignal(kFrames, kChannels);
    const int fpb = dw::ima::framesPerBlock(kBlockAlign, kChannels);
    for (auto _ : state)
        benchmark::DoNotOptimize(imaEncodeAll(pcm, fpb));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrames / fpb * fpb * kChannels * 2));
}

void imaDecode(benchmark::State& state)
{
    const int fpb = dw::ima::framesPerBlock(kBlockAlign, kChannels);
    const auto enc = imaEncodeAll(dwbench::testSignal(kFrames, kChannels), fpb);
    std::vector<int16_t> out(std::size_t(fpb) * kChannels);
    for (auto _ : state) {
        for (std::size_t off = 0; off < enc.size(); off += kBlockAlign)
            benchmark::DoNotOptimize(
                dw::ima::decodeBlock(std::span<const uint8_t>(enc.data() + off, kBlockAlign), kChannels, out));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(enc.size() / kBlockAlign * fpb * kChannels * 2));
}

// Microsoft ADPCM blocks with valid headers and pseudo-random codes.
void msDecode(benchmark::State& state)
{
    const std::array<dw::msadpcm::Coef, 7> coefs{{{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208},
                                                   {392, -232}}};
    const std::size_t header = dw::msadpcm::headerSize(kChannels);
    const int spb = int((kBlockAlign - header) * 2 / kChannels + 2);
    const std::size_t blocks = kFrames / std::size_t(spb);
    std::vector<uint8_t> enc(blocks * kBlockAlign);
    uint32_t rnd = 777;
    for (std::size_t b = 0; b < blocks; ++b) {
        uint8_t* p = enc.data() + b * kBlockAlign;
        p[0] = uint8_t(b % 7);
        p[1] = uint8_t((b + 3) % 7);
        for (int c = 0; c < kChannels; ++c) {
            p[2 + 2 * c] = 0x00;  // delta 256
            p[3 + 2 * c] = 0x01;
        }
        for (std::size_t i = header; i < kBlockAlign; ++i) {
            rnd = rnd * 1664525u + 1013904223u;
            p[i] = uint8_t(rnd >> 24);
        }
    }
    std::vector<int16_t> out(std::size_t(spb) * kChannels);
    for (auto _ : state) {
        for (std::size_t off = 0; off < enc.size(); off += kBlockAlign) {
            std::size_t frames = 0;
            benchmark::DoNotOptimize(dw::msadpcm::decodeBlock(std::span<const uint8_t>(enc.data() + off, kBlockAlign),
                                                              kChannels, spb, coefs, out, frames));
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(blocks * spb * kChannels * 2));
}

}  // namespace

BENCHMARK(imaEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(imaDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(msDecode)->Unit(benchmark::kMillisecond);
