#pragma once
// Mixes 3 to 8 channels down to stereo or mono, keeping the sample width.
//
// Channel i of the input is taken as speaker position i of the WAVE channel
// mask order (FL, FR, FC, LFE, BL, BR, FLC, FRC): the layout of extensible
// files whose mask is the lowest bits, and of 5.1 ($3F) and 7.1 ($FF).
// The stereo matrix is that of ITU-R BS.775 for 5.1 (L = FL + 0.7071 FC +
// 0.7071 BL, R likewise; LFE left out), extended with FLC to L and FRC to R
// at unity. The result is scaled by 1 / (sum of one side's coefficients) so
// that a full-scale signal on every channel does not clip. Mono is the
// average of the two stereo channels.
//
// Threads: OutChannels is set on the main thread before a run; DoInit,
// DoGetData and DoFlush run on the output's worker thread.

#include "audio/stream/AuConverter.h"

#include <array>
#include <cstdint>
#include <vector>

namespace dw {

class TDownmixer : public TAuConverter {
public:
    static constexpr uint32_t kMinInChannels = 3;
    static constexpr uint32_t kMaxInChannels = 8;

    TDownmixer();
    ~TDownmixer() override;

    // OutChannels (1 or 2) when the input has 3 to 8 channels, else the input's.
    uint32_t GetChannels() override;
    uint32_t GetOutChannels() const { return OutChannels; }
    void SetOutChannels(uint32_t channels) { OutChannels = channels; }

    // The left and right coefficient of each input channel for a count of
    // channels (3 to 8), already scaled against clipping.
    static std::array<std::array<float, 2>, kMaxInChannels> Matrix(uint32_t channels);

protected:
    void DoInit() override;
    void DoFlush() override;
    void DoGetData(void*& buffer, uint32_t& bytes) override;

private:
    uint32_t OutChannels = 2;

    bool RunMixing = false;
    uint32_t RunInChannels = 0, RunOutChannels = 0, BytesPerSample = 0;
    std::array<std::array<float, 2>, kMaxInChannels> RunMatrix{};
    std::vector<uint8_t> InBuffer;
    std::vector<uint8_t> OutBuffer;
    std::vector<float> FloatBuffer;
};

}  // namespace dw
