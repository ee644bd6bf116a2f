#pragma once
// TOggPlayer: the engine of the Ogg player window. It plays through the one
// playback chain the command line's play uses too (player/PlayChain: here
// TVorbisIn -> TStereoBalance -> TDXAudioOut, 80 ms buffer, prefetching) and
// holds the window's rules: which files are played, the texts shown for a file,
// the elapsed-time clock the window's timer advances, the jump made when the
// position bar is moved, pause/resume and stop. The window only binds its
// controls to it.
//
// Threads: everything on the main thread; the output's events arrive there.

#include "audio/formats/StereoBalance.h"
#include "audio/formats/VorbisIn.h"
#include "player/DXAudioOut.h"
#include "player/PlayChain.h"

#include <QString>
#include <QStringList>

namespace dw {

class TOggPlayer {
public:
    static constexpr uint32_t kLatencyMs = 80;
    static constexpr int kTimerMs = 500;
    static constexpr int kBalancePositions = 10;

    TOggPlayer();
    ~TOggPlayer();
    TOggPlayer(const TOggPlayer&) = delete;
    TOggPlayer& operator=(const TOggPlayer&) = delete;

    // Sets the file and plays it when its name ends in ".ogg" (any case) and
    // the decoder accepts it; false otherwise (the window then says the file
    // is not valid). The elapsed clock starts at 0.
    bool OpenAndPlay(const QString& fileName);

    // Texts for the file being played.
    QString FileTitle() const;       // name without folder and extension
    QString SampleRateText();        // "44100 bps"
    QString TotalTimeText();         // "3:07"
    QStringList CommentLines();      // "Artist: ...", ... for the non-empty comments
    int TotalSeconds();

    // The window's timer: advances the elapsed clock by one tick while it is
    // short of the total length.
    void Tick();
    int ElapsedMs() const { return ElapsedMs_; }
    QString ElapsedText() const;     // "1:05"

    // The position bar (0..100) was moved to p: jump by the difference to
    // the progress, and set the clock to that share of the total.
    void MoveTo(int p);
    // Pause when running, resume otherwise; true when running afterwards.
    bool TogglePause();
    // Resumes a paused output, then stops it (OnDone follows).
    void Stop();
    // Balance track bar position 0..10.
    void SetBalancePosition(int position);

    int Progress() const { return Chain_.Output().Progress(); }
    int Status() const { return Chain_.Output().Status(); }

    // The file being played; null before the first.
    TVorbisIn* VorbisIn1() const;
    TStereoBalance& StereoBalance1() { return *Chain_.Balance(); }
    TDXAudioOut& DXAudioOut1() { return Chain_.Output(); }

private:
    TPlayChain Chain_;
    int ElapsedMs_ = 0;
};

}  // namespace dw
