#pragma once
// TVorbisOut: a file output that encodes PCM (8, 16, 24 or 32 bits) into an
// Ogg Vorbis file, by quality (variable bit rate) or through the bit-rate
// manager, with Vorbis comments. A new file is written under a temporary
// name and renamed into place when the run ends (a stopped run leaves
// nothing, or keeps what was encoded so far with SetKeepStopped; a failed
// one leaves nothing). With FileMode foAppend the stream is added at the end
// of an existing file as a new logical stream; a failed append (or a stopped
// one not kept) cuts the file back to its old length.
//
// Threads: properties are set on the main thread while idle; Prepare,
// DoOutput and Done run on the output's worker thread.

#include "audio/formats/WholeFrames.h"
#include "audio/formats/VorbisBitRate.h"
#include "audio/stream/AuFileOut.h"

#include <ogg/ogg.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace dw {

class TVorbisEncoder;
class TVorbisTags;

class TVorbisOut : public TAuFileOut {
public:
    TVorbisOut();
    ~TVorbisOut() override;

    // Quality for variable-bit-rate encoding (the library's scale).
    float GetCompression() const { return Compression; }
    void SetCompression(float quality) { Compression = quality; }

    // The comments written into the file; Done empties their values.
    TVorbisTags& Comments() { return *CommentTags; }
    void SetComments(const TVorbisTags& tags);

    // brAutoSelect selects quality mode. The setters keep
    // minimum <= nominal <= maximum (see the .cpp).
    TVorbisBitRate GetDesiredNominalBitrate() const { return DesiredNominalBitrate; }
    void SetDesiredNominalBitrate(TVorbisBitRate rate);
    TVorbisBitRate GetDesiredMaximumBitrate() const { return DesiredMaximumBitrate; }
    void SetDesiredMaximumBitrate(TVorbisBitRate rate);
    TVorbisBitRate GetMinimumBitrate() const { return MinimumBitrate; }
    void SetMinimumBitrate(TVorbisBitRate rate);

    int32_t GetSerial() const { return Serial; }
    void SetSerial(int32_t serial) { Serial = serial; }

    void SetFileMode(TFileOutputMode mode) override;

protected:
    void Prepare() override;
    bool DoOutput(bool abort) override;
    void Done() override;

private:
    void setUpEncoder();
    void writePage(const ogg_page& page);
    void encode(const uint8_t* data, uint32_t frames);
    void convert(const uint8_t* data, uint32_t frames);
    void handOver();

    float Compression = 0.2f;
    std::unique_ptr<TVorbisTags> CommentTags;
    TVorbisBitRate DesiredNominalBitrate = brAutoSelect;
    TVorbisBitRate DesiredMaximumBitrate = brAutoSelect;
    TVorbisBitRate MinimumBitrate = brAutoSelect;
    int32_t Serial = 0;

    // The run in progress.
    std::unique_ptr<TVorbisEncoder> Encoder;
    bool EndOfStream = false;
    bool inputEnded_ = false;
    bool appending_ = false;
    int64_t appendFrom_ = 0;       // length of the file appended to
    int channels_ = 0;
    int bits_ = 0;
    uint32_t frameBytes_ = 0;
    TWholeFrames wholeFrames_;  // input bytes not yet a whole frame
    float** planes_ = nullptr;  // the library's buffer being filled, if any
    uint32_t filled_ = 0;       // frames in it so far
};

}  // namespace dw
