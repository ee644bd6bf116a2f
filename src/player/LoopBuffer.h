#pragma once
// The looping sound buffer between the output's worker and the SDL audio
// callback: a ring of BufferBytes holding PCM in the input's format, with
// three absolute byte counts (they only grow, so a wrap can never be missed):
//
//   consumed  what the callback has taken out (the play cursor),
//   reading   consumed plus what the callback is copying right now (the
//             write cursor: nothing below it may be overwritten),
//   written   the end of the data the writer has put in.
//
// While playing, each callback takes its bytes at `consumed` and moves on,
// as a looping hardware buffer does, whether or not data was written there;
// what lies beyond `written` is played as silence (never stale data), and
// the writer sees the under-run because `written` fell below `reading`.
//
// Threads: the callback runs on SDL's audio thread and takes no lock. The
// writer side (one thread at a time: the worker, or the main thread while
// the worker is paused) stores data below the free limit and then publishes
// `written`.

#include <SDL.h>

#include <atomic>
#include <cstdint>
#include <vector>

namespace dw {

class TLoopBuffer {
public:
    // bytes: ring size (a whole number of frames); bits 8, 16, 24 or 32.
    TLoopBuffer(uint32_t bytes, uint32_t channels, uint32_t bits);

    uint32_t Bytes() const { return bytes_; }
    uint32_t FrameBytes() const { return frameBytes_; }
    // The device format SDL is asked for: U8, S16 or S32 (24-bit PCM is
    // widened to 32 bits on the way out).
    SDL_AudioFormat DeviceFormat() const;
    uint8_t SilenceByte() const { return bits_ == 8 ? 128 : 0; }

    // Writer side.
    // Copies n bytes to absolute position at (the region must be free).
    void Store(uint64_t at, const void* data, uint32_t n);
    void StoreFill(uint64_t at, uint8_t value, uint32_t n);
    void Publish(uint64_t writtenEnd) { written_.store(writtenEnd, std::memory_order_release); }
    uint64_t Written() const { return written_.load(std::memory_order_acquire); }
    uint64_t Consumed() const { return consumed_.load(std::memory_order_acquire); }
    uint64_t Reading() const { return reading_.load(std::memory_order_acquire); }
    // Only while no callback can run (device locked or not playing).
    void ResetCursors(uint64_t position);

    void SetPlaying(bool playing) { playing_.store(playing, std::memory_order_release); }
    bool IsPlaying() const { return playing_.load(std::memory_order_acquire); }
    // Linear gain applied on the way out (1 = unchanged).
    void SetGain(float gain) { gain_.store(gain, std::memory_order_relaxed); }
    // Bytes of silence played because no data was there (a diagnostic).
    uint64_t StarvedBytes() const { return starved_.load(std::memory_order_relaxed); }

    // The SDL callback; userdata is the TLoopBuffer.
    static void SDLCALL Callback(void* userdata, Uint8* stream, int len);

private:
    void render(uint8_t* out, uint32_t len);
    void copyOut(uint64_t from, uint8_t* out, uint32_t ringBytes);

    std::vector<uint8_t> ring_;
    const uint32_t bytes_;
    const uint32_t bits_;
    const uint32_t frameBytes_;
    std::atomic<uint64_t> consumed_{0};
    std::atomic<uint64_t> reading_{0};
    std::atomic<uint64_t> written_{0};
    std::atomic<uint64_t> starved_{0};
    std::atomic<bool> playing_{false};
    std::atomic<float> gain_{1.0f};
};

}  // namespace dw
