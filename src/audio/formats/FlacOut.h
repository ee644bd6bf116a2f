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

#include "audio/formats/WholeFrames.h"
#include "audio/stream/AuFileOut.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace dw {

class TVorbisTags;
struct TFlacEncoder;

class TFlacOut : public TAuFileOut {
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

    // The comments written into the file; Done empties their values.
    TVorbisTags& Comments() { return *CommentTags; }
    void SetComments(const TVorbisTags& tags);

    void SetFileMode(TFileOutputMode mode) override;

protected:
    void Prepare() override;
    bool DoOutput(bool abort) override;
    void Done() override;

private:
    void encode(const uint8_t* data, uint32_t frames);
    void finish();

    int CompressionLevel = kDefaultLevel;
    bool Verify = true;
    std::unique_ptr<TVorbisTags> CommentTags;

    // The run in progress.
    std::unique_ptr<TFlacEncoder> Encoder;
    bool EndOfStream = false;
    int channels_ = 0;
    int bits_ = 0;
    uint32_t frameBytes_ = 0;
    TWholeFrames wholeFrames_;  // input bytes not yet a whole frame
    std::vector<int32_t> samples_;  // one chunk widened for the encoder
};

}  // namespace dw
