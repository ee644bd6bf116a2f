#pragma once
// TPlayChain: one WAV or Ogg Vorbis file played through TDXAudioOut: file
// input -> (stereo balance) -> sound output. The command line's play and the
// Ogg player window's engine (player/OggPlayer) both play through it.
//
//   TPlayChain chain;
//   if (!chain.Open("song.ogg", error)) ...
//   chain.SetBalance(-40);       // -100 left only .. 0 unchanged .. 100 right only
//   chain.StartAt(12.5, error);  // seconds from the start
//   chain.Output().Run();
//
// Balance 0 leaves the samples untouched (no balance stage); any other value
// runs the stereo balance at (value + 100) / 200, the position the player
// window's track bar gives for the same share (so -100 silences the right
// channel and 100 the left one). The window keeps the stage in the chain
// (SetBalanceShare) so that its track bar can move it while playing.
//
// Threads: main thread; the output's worker reads the chain.

#include "audio/formats/StereoBalance.h"
#include "audio/stream/AuFileIn.h"
#include "player/DXAudioOut.h"

#include <QString>

#include <memory>

namespace dw {

class TPlayChain {
public:
    TPlayChain();
    ~TPlayChain();
    TPlayChain(const TPlayChain&) = delete;
    TPlayChain& operator=(const TPlayChain&) = delete;

    // Chooses the reader by the file's extension (.ogg or .wav, any case) and
    // checks that it accepts the file; false with error set otherwise (the
    // chain then keeps the file it had). Not while the output runs.
    bool Open(const QString& fileName, QString& error);
    // -100 .. 100; false for a value outside.
    bool SetBalance(int percent);
    // The balance stage at a share of 0 (left only) .. 1 (right only), kept
    // in the chain from now on, also at 0.5 (unchanged samples).
    void SetBalanceShare(float share);
    TStereoBalance* Balance() const { return Balance_.get(); }
    // Starts the next run at this many seconds into the file; false with
    // error set when it lies beyond the end.
    bool StartAt(double seconds, QString& error);

    TDXAudioOut& Output() { return Output_; }
    const TDXAudioOut& Output() const { return Output_; }
    TAuFileIn* Input() const { return Input_.get(); }
    const QString& FileName() const { return FileName_; }
    // Seconds of the file: total, and the place the device has reached.
    double TotalSeconds() const;
    double PositionSeconds() const;

private:
    void wire();

    std::unique_ptr<TAuFileIn> Input_;
    std::unique_ptr<TStereoBalance> Balance_;
    bool KeepBalance_ = false;
    QString FileName_;
    TDXAudioOut Output_;
    int64_t StartFrame_ = 0;
    uint32_t FrameBytes_ = 0;
    uint32_t SampleRate_ = 0;
    int64_t TotalFrames_ = 0;
};

}  // namespace dw
