#pragma once
// Turns mono into stereo and attenuates one channel: Balance above 0.5 scales
// the left channel by (1 - Balance), otherwise the right channel by Balance.
// Input with 3 or more channels passes through unchanged.
//
// Threads: Balance may be changed from any thread at any time and takes
// effect with the next block; DoInit, DoGetData and DoFlush run on the
// output's worker thread.

#include "audio/stream/AuConverter.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace dw {

class TStereoBalance : public TAuConverter {
public:
    static constexpr uint32_t kWorkBufferBytes = 32768;

    TStereoBalance();
    ~TStereoBalance() override;

    // 2 for mono or stereo input, else the input's count; raises
    // "Input not assigned" without an input.
    uint32_t GetChannels() override;

    float GetBalance() const { return Balance.load(); }
    // Values outside 0 ... 1 are ignored.
    void SetBalance(float balance);

protected:
    void DoInit() override;
    void DoFlush() override;
    void DoGetData(void*& buffer, uint32_t& bytes) override;

private:
    uint32_t readWholeSamples(uint32_t want, uint32_t unit);

    std::atomic<float> Balance{0.5f};
    uint32_t RunChannels = 0;
    uint32_t RunBytesPerSample = 0;
    std::vector<uint8_t> WorkBuffer;
};

}  // namespace dw
