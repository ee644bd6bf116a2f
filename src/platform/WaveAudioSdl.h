#pragma once
// The SDL2 handles of the wave-audio device: a reference on SDL's audio
// subsystem and one opened playback or capture device, each released with
// its object. Devices are opened without a callback: SDL queues the audio
// (SDL_QueueAudio, SDL_DequeueAudio), so SDL's audio thread never waits on us.
//
// Thread-safe as SDL is: opened and closed by one owner; queue calls from any thread.

#include "platform/WaveAudioFile.h"

#include <QString>

#include <cstdint>

namespace dw {

class SdlAudioRef {
public:
    SdlAudioRef();
    ~SdlAudioRef();
    SdlAudioRef(const SdlAudioRef&) = delete;
    SdlAudioRef& operator=(const SdlAudioRef&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_;
};

class SdlQueuedDevice {
public:
    SdlQueuedDevice() = default;
    ~SdlQueuedDevice() { close(); }
    SdlQueuedDevice(const SdlQueuedDevice&) = delete;
    SdlQueuedDevice& operator=(const SdlQueuedDevice&) = delete;

    // Opens the default playback (capture false) or capture device for
    // exactly this format; SDL converts when the hardware differs. Starts
    // paused. False with *error set.
    bool open(const TWaveAudioFormat& format, bool capture, QString* error);
    void close();
    void pause(bool paused);
    // Whether SDL still has the device (false once it was unplugged or failed).
    bool alive() const;
    uint32_t id() const { return id_; }

private:
    SdlAudioRef sdl_;
    uint32_t id_ = 0;
};

}  // namespace dw
