#pragma once
// TFramedFileOut: what the FLAC and Opus writers share. A run reads the
// input in chunks, hands whole sample frames to the writer's encoder (a
// partial frame left at the end of the input is dropped), and at the end of
// the input (or at a stop, when a stopped run is kept) ends the encoder's
// stream; then the file is put in place, or removed when the run failed or
// was stopped (TAuFileOut::SetKeepStopped). The comments written into the file
// come from a TVorbisTags container whose values Done empties. A new file
// is always written: the formats take no second stream, so foAppend writes
// as foRewrite does.
//
// Threads: DoOutput and Done run on the output's worker thread.

#include "audio/formats/WholeFrames.h"
#include "audio/stream/AuFileOut.h"

#include <cstdint>
#include <memory>

namespace dw {

class TVorbisTags;

class TFramedFileOut : public TAuFileOut {
public:
    TFramedFileOut();
    ~TFramedFileOut() override;

    // The comments written into the file; Done empties their values.
    TVorbisTags& Comments() { return *CommentTags; }
    void SetComments(const TVorbisTags& tags);

    void SetFileMode(TFileOutputMode mode) override;

protected:
    bool DoOutput(bool abort) final;
    void Done() final;

    // The start of Prepare: opens the destination and the input and takes
    // its channels and width (the writer checks them, then calls
    // takeFrameSize).
    void beginRun();
    void takeFrameSize();

    virtual bool encoderOpen() const = 0;
    // Encodes whole frames of the input's PCM.
    virtual void encode(const uint8_t* data, uint32_t frames) = 0;
    // Ends the encoder's stream (the last packets or frames are written).
    virtual void endStream() = 0;
    // Drops the encoder and what it kept of the run.
    virtual void dropEncoder() = 0;

    std::unique_ptr<TVorbisTags> CommentTags;
    bool EndOfStream = false;
    int channels_ = 0;
    int bits_ = 0;
    uint32_t frameBytes_ = 0;

private:
    TWholeFrames wholeFrames_;  // input bytes not yet a whole frame
};

}  // namespace dw
