#pragma once
// TFlacOut: a file output that encodes PCM (8, 16 or 24 bits, 1 to 8
// channels) into a FLAC file through libFLAC, at compression level 0-8
// (default 5), with the encoder's verification of its own output (on by
// default), a seek table (a point every 10 seconds, when the input's length
// is known) and a VORBIS_COMMENT block taken from a TVorbisTags container.
// The file is written under a temporary name and renamed into place when
// the run ends (a stopped run keeps what was encoded so far, with a valid
// STREAMINFO; a failed one leaves nothing). A FLAC file cannot take a
// second stream, so foAppend writes a new file as foRewrite does.
//
// Threads: properties are set on the main thread while idle; Prepare,
// DoOutput and Done run on the output's worker thread.

#include "audio/formats/FramedFileOut.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace dw {

struct TFlacEncoder;

class TFlacOut : public TFramedFileOut {
public:
    static constexpr int kMinLevel = 0;
    static constexpr int kMaxLevel = 8;
    static constexpr int kDefaultLevel = 5;

    TFlacOut();
    ~TFlacOut() override;

    int GetCompressionLevel() const { return CompressionLevel; }
    // Values outside 0-8 are brought to the nearest end.
    void SetCompressionLevel(int level);
    bool GetVerify() const { return Verify; }
    void SetVerify(bool verify) { Verify = verify; }

protected:
    void Prepare() override;
    bool encoderOpen() const override { return Encoder != nullptr; }
    void encode(const uint8_t* data, uint32_t frames) override;
    void endStream() override;
    void dropEncoder() override;

private:

    int CompressionLevel = kDefaultLevel;
    bool Verify = true;

    // The run in progress.
    std::unique_ptr<TFlacEncoder> Encoder;
    std::vector<int32_t> samples_;  // one chunk widened for the encoder
};

}  // namespace dw
