#pragma once
// TOpusOut: a file output that encodes PCM (8, 16, 24 or 32 bits, 1 to 8
// channels, any rate the library takes) into an Ogg Opus file through
// libopusenc, at a bit rate of 6-510 kbit/s (default 160) with variable
// bit rate on by default, and Vorbis comments taken from a TVorbisTags
// container. The encoder is set up as opusenc sets it up for the same
// options (unconstrained variable bit rate, the input's sample width as its
// resolution), so both make the same stream of the same samples. The library resamples the input to 48 kHz and records the
// original rate in the header. The file is written under a temporary name
// and renamed into place when the run ends (a stopped run keeps what was
// encoded so far, as a complete stream; a failed one leaves nothing).
// foAppend writes a new file as foRewrite does.
//
// Threads: properties are set on the main thread while idle; Prepare,
// DoOutput and Done run on the output's worker thread.

#include "audio/formats/FramedFileOut.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace dw {

struct TOpusEncoder;

class TOpusOut : public TFramedFileOut {
public:
    static constexpr int kMinBitRate = 6;    // kbit/s
    static constexpr int kMaxBitRate = 510;  // kbit/s
    static constexpr int kDefaultBitRate = 160;

    TOpusOut();
    ~TOpusOut() override;

    // Target bit rate in kbit/s; values outside 6-510 are brought to the nearest end.
    int GetBitRate() const { return BitRate; }
    void SetBitRate(int kbps);
    // Unconstrained variable bit rate, as opusenc --vbr (on), or hard
    // constant bit rate (off).
    bool GetVbr() const { return Vbr; }
    void SetVbr(bool vbr) { Vbr = vbr; }

protected:
    void Prepare() override;
    bool encoderOpen() const override { return Encoder != nullptr; }
    void encode(const uint8_t* data, uint32_t frames) override;
    void endStream() override;
    void dropEncoder() override;

private:

    int BitRate = kDefaultBitRate;
    bool Vbr = true;

    // The run in progress.
    std::unique_ptr<TOpusEncoder> Encoder;
    std::vector<float> samples_;    // one chunk as the encoder takes it
};

}  // namespace dw
