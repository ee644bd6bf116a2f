#pragma once
// Changes the bits per sample (8, 16, 24 or 32) and converts between mono and
// stereo, on exact integers (SampleWidth.h): widening is exact, narrowing
// rounds to nearest (ties to even) and clips, and a mono mix is the exact
// mean of both channels, rounded once. Narrowing is dithered as Dither says
// (by default only to 8 bits), with noise from a generator seeded with
// DitherSeed at every run. With both OutBitsPerSample and OutChannels 0 it
// passes the data through untouched.
//
// Threads: properties are set on the main thread before a run; DoInit,
// DoGetData and DoFlush run on the output's worker thread.

#include "audio/formats/Dither.h"
#include "audio/stream/AuConverter.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace dw {

// How mono is placed in stereo. Stored with the component; the conversion
// always copies mono into both channels.
enum TMSConverterMode { msmMonoToBoth, msmMonoToLeft, msmMonoToRight };

class TAudioConverter : public TAuConverter {
public:
    TAudioConverter();
    ~TAudioConverter() override;

    // OutBitsPerSample when set, else the input's (0 without input).
    uint32_t GetBitsPerSample() override;
    // OutChannels when it and the input's count are both 1 or 2, else the input's.
    uint32_t GetChannels() override;

    TMSConverterMode GetMode() const { return Mode; }
    void SetMode(TMSConverterMode mode) { Mode = mode; }
    uint32_t GetOutBitsPerSample() const { return OutBitsPerSample; }
    void SetOutBitsPerSample(uint32_t bits) { OutBitsPerSample = bits; }  // 0 = as input
    uint32_t GetOutChannels() const { return OutChannels; }
    void SetOutChannels(uint32_t channels) { OutChannels = channels; }    // 0 = as input
    TDitherMode GetDither() const { return Dither; }
    void SetDither(TDitherMode mode) { Dither = mode; }
    uint64_t GetDitherSeed() const { return DitherSeed; }
    void SetDitherSeed(uint64_t seed) { DitherSeed = seed; }

protected:
    void DoInit() override;
    void DoFlush() override;
    void DoGetData(void*& buffer, uint32_t& bytes) override;

private:
    TMSConverterMode Mode = TMSConverterMode::msmMonoToBoth;
    uint32_t OutBitsPerSample = 0;
    uint32_t OutChannels = 0;
    TDitherMode Dither = TDitherMode::EightBitOnly;
    uint64_t DitherSeed = TTpdfDither::kDefaultSeed;

    // Values of the current run.
    bool RunTransparent = true;
    uint32_t RunOutBits = 0, RunOutChannels = 0, RunInChannels = 0;
    uint32_t InBytesPerSample = 0, OutBytesPerSample = 0;
    std::size_t FrameCapacity = 0;
    std::vector<uint8_t> InBuffer;   // whole input frames gathered from the input
    std::vector<uint8_t> OutBuffer;  // converted bytes handed out
    std::vector<int64_t> WideBuffer;  // frames x the larger channel count
    std::optional<TTpdfDither> RunDither;  // set when this run's narrowing is dithered
};

}  // namespace dw
