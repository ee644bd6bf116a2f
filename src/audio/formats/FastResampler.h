#pragma once
// Sample-rate converter. Reads the input in blocks, converts the samples to
// float, runs them through a band-limited resampling filter (libsoxr's
// high-quality recipe, any rate ratio up to 32:1) and converts back to the
// input's width, rounded and clipped, without dither. Integer PCM of 8, 16,
// 24 or 32 bits in and out, channels unchanged; equal rates pass the data
// through untouched. The output holds round(input frames x output rate /
// input rate) frames: the filter's tail is drained at the end of the input.
//
// Threads: properties are set on the main thread before a run; DoInit,
// DoGetData and DoFlush run on the output's worker thread.

#include "audio/stream/AuConverter.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace dw {

class TResampleStream;

class TFastResampler : public TAuConverter {
public:
    TFastResampler();
    ~TFastResampler() override;

    // The input's width and channels; OutSampleRate as set. All raise
    // "Input is not assigned" without an input.
    uint32_t GetBitsPerSample() override;
    uint32_t GetChannels() override;
    uint32_t GetSampleRate() override;

    // Read at DoInit; no default (callers set it).
    uint32_t GetOutSampleRate() const { return OutSampleRate; }
    void SetOutSampleRate(uint32_t rate) { OutSampleRate = rate; }

    // True during a run whose input rate equals OutSampleRate.
    bool IsPassthrough() const { return Passthrough; }

    // Output frames for `inFrames` input frames: the nearest integer to
    // inFrames x outRate / inRate (halves round up).
    static int64_t OutputFrames(int64_t inFrames, uint32_t inRate, uint32_t outRate);

protected:
    void DoInit() override;
    void DoFlush() override;
    void DoGetData(void*& buffer, uint32_t& bytes) override;

private:
    void releaseBuffers();
    std::size_t refill();
    bool readBlock();

    uint32_t OutSampleRate = 0;

    uint32_t InRate = 0, OutRate = 0;
    bool Passthrough = false;
    uint16_t BytesPerSample = 0, FrameBytes = 0, ChannelCount = 0;
    std::size_t BlockFrames = 0;      // input frames read per block
    std::size_t OutCapacity = 0;      // output frames per refill
    std::vector<uint8_t> InBytes;     // one block of input bytes
    std::vector<float> InFloat;       // the same block as floats
    std::size_t InOffset = 0, InPending = 0;  // frames of InFloat taken, left
    std::vector<float> OutFloat;      // one refill's output as floats
    std::vector<uint8_t> OutBytes;    // the same converted to the input's width
    int64_t InFrames = 0, OutFrames = 0;  // counted since DoInit
    bool InputEnded = false, Finished = false;
    std::unique_ptr<TResampleStream> Stream;
};

}  // namespace dw
