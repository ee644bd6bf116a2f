#pragma once
// Sample-rate converter. Reads the input a fifth of a second at a time,
// changes the rate by holding (raising) or picking (lowering) frames and runs
// a cascaded Chebyshev low-pass at the higher rate so that neither aliasing
// nor images get through. Integer PCM of 8, 16, 24 or 32 bits in and out;
// equal rates pass the data through untouched.
//
// Threads: properties are set on the main thread before a run; DoInit,
// DoGetData and DoFlush run on the output's worker thread.

#include "audio/formats/ResampleEngine.h"
#include "audio/stream/AuConverter.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace dw {

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

    bool IsPassthrough() const { return Passthrough; }
    uint32_t GetInStep() const { return InStep; }
    uint32_t GetOutStep() const { return OutStep; }
    std::size_t GetCapacity() const { return Capacity; }

protected:
    void DoInit() override;
    void DoFlush() override;
    void DoGetData(void*& buffer, uint32_t& bytes) override;

private:
    void releaseBuffers();
    int64_t outputBytesFor(int64_t inputBytes) const;

    uint32_t OutSampleRate = 0;

    uint32_t InRate5 = 0, OutRate5 = 0;
    uint32_t InStep = 0, OutStep = 0;
    bool Passthrough = false;
    std::size_t Capacity = 0;
    uint16_t BytesPerSample = 0, FrameBytes = 0, ChannelCount = 0;
    std::vector<uint8_t> ByteBuffer;
    std::vector<float> FloatBuffer;     // input frames of one refill
    std::vector<float> FilteredBuffer;  // output frames of one refill
    std::unique_ptr<ResampleEngine> Engine;
};

}  // namespace dw
