#pragma once
// The SDL2 device of the wave-audio device: one opened playback or capture
// device with its reference on SDL's audio subsystem, released with the
// object. Devices are opened without a callback: SDL queues the audio
// (SDL_QueueAudio, SDL_DequeueAudio), so SDL's audio thread never waits on us.
//
// Thread-safe as SDL is: opened and closed by one owner; queue calls from any thread.

#include "platform/SdlAudio.h"
#include "platform/WaveAudioFile.h"

#include <QString>

#include <cstdint>

namespace dw {

class SdlQueuedDevice {
public:
    SdlQueuedDevice() = default;
    SdlQueuedDevice(const SdlQueuedDevice&) = delete;
    SdlQueuedDevice& operator=(const SdlQueuedDevice&) = delete;

    // Opens the default playback (capture false) or capture device for
    // exactly this format; SDL converts when the hardware differs. Starts
    // paused. False with *error set.
    bool open(const TWaveAudioFormat& format, bool capture, QString* error);
    void close() { device_.close(); }
    void pause(bool paused) { device_.pause(paused); }
    // Whether SDL still has the device (false once it was unplugged or failed).
    bool alive() const { return device_.alive(); }
    uint32_t id() const { return device_.id(); }

private:
    SdlAudioSubsystem sdl_;
    SdlAudioDevice device_;
};

}  // namespace dw
