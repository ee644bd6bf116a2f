#pragma once
// The sound-output layer of one playback: an SDL2 audio device that plays a
// looping buffer (TLoopBuffer) filled by the output's worker. The play
// cursor is what the device callback has taken out, the write cursor that
// plus what it is taking right now; both are exact byte counts, so a pass of
// the device through the whole buffer is never mistaken for no movement.
// The steady clock stands in for the performance counter.
//
// Every operation returns a result code: 0 on success, else one of the
// kDs* codes below (printed as 8 hexadecimal digits in messages).
//
// Threads: the operations are called by one thread at a time (the output's
// worker, or the main thread while the worker is paused); Underruns and
// Playing may be read from any thread. The device callback takes no lock.

#include "player/LoopBuffer.h"
#include "platform/SdlAudio.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>

namespace dw {

inline constexpr int32_t kDsOk = 0;
inline constexpr int32_t kDsErrGeneric = static_cast<int32_t>(0x80004005u);      // the device failed
inline constexpr int32_t kDsErrNoDriver = static_cast<int32_t>(0x88780078u);     // no audio subsystem or device
inline constexpr int32_t kDsErrInvalidParam = static_cast<int32_t>(0x80070057u);  // a format the layer cannot play

// The PCM format of one playback.
struct TDSFormat {
    uint32_t Channels = 2;
    uint32_t SampleRate = 44100;
    uint32_t BitsPerSample = 16;  // 8, 16, 24 or 32
    uint32_t BlockAlign() const { return Channels * BitsPerSample / 8; }
    uint32_t BytesPerSecond() const { return SampleRate * BlockAlign(); }
};

struct TDSoundState {
    using Clock = std::chrono::steady_clock;

    std::unique_ptr<SdlAudioDevice> Device;  // the open device
    std::unique_ptr<TLoopBuffer> Buffer;     // the looping buffer it plays
    QString DeviceId;                        // SDL name; empty = the default device
    uint64_t WritePos = 0;                   // absolute byte position of the next write
    uint32_t BufferBytes = 0;
    uint32_t BytesPerFrame = 0;
    int64_t TicksPerBuffer = 0;  // clock ticks one pass through the buffer takes
    Clock::time_point LastCounter{};
    uint32_t LastPlayPos = 0;  // play cursor as a buffer offset at the last query
    std::atomic<uint32_t> Underruns{0};
    std::atomic<bool> Playing{false};

    // Back to the zeroed state (closes whatever is open).
    void Clear();
    // WritePos as an offset in the buffer.
    uint32_t WriteOffset() const { return BufferBytes ? static_cast<uint32_t>(WritePos % BufferBytes) : 0; }
};

// Chooses the device (empty id: the default one). The device itself opens
// with its format in CreateOutputBuffers.
int32_t OpenDevice(TDSoundState& state, const QString& deviceId);
// Opens the device for format with a looping buffer of bytes (a whole number
// of frames), filled with silence; the device runs from here on, playing
// silence until StartPlayback. WritePos := the write cursor.
int32_t CreateOutputBuffers(TDSoundState& state, const TDSFormat& format, uint32_t bytes);
// Play cursor to the start of the buffer, then play.
int32_t StartPlayback(TDSoundState& state);
int32_t StopPlayback(TDSoundState& state);
int32_t RestartPlayback(TDSoundState& state);
// Bytes that may be written at WritePos now. When the device has already
// read past WritePos (an under-run while playing, counted), WritePos moves
// up to the write cursor. Gives 0 without a buffer.
uint32_t QueryWritableBytes(TDSoundState& state);
// Fills every writable byte with value and advances WritePos.
int32_t WriteSilence(TDSoundState& state, uint8_t value);
// Copies bytes (at most the writable amount) at WritePos and advances it.
int32_t WriteBlock(TDSoundState& state, const void* data, uint32_t bytes);
// volume in 1/100 dB: 0 full, -10000 silent; values outside are clamped.
int32_t SetOutputVolume(TDSoundState& state, int32_t volume);
// Stops and closes the device and frees the buffer.
int32_t CloseDevice(TDSoundState& state);

}  // namespace dw
