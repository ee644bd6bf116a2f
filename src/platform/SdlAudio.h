#pragma once
// Handles on SDL2's audio: one reference on the audio subsystem, and one open
// playback or capture device. Both release what they took when destroyed.
// The Ogg player's output, the CD player and the wave-audio device all open
// their devices through these.
//
// Threads: SdlAudioSubsystem is made and destroyed on the main thread (SDL's
// initialisation is not safe to race). An SdlAudioDevice may be opened and
// closed on any thread while a subsystem reference is held.

#include "platform/SdlLibrary.h"

#include <QString>

namespace dw {

class SdlAudioSubsystem {
public:
    SdlAudioSubsystem();
    ~SdlAudioSubsystem();
    SdlAudioSubsystem(const SdlAudioSubsystem&) = delete;
    SdlAudioSubsystem& operator=(const SdlAudioSubsystem&) = delete;

    bool ok() const { return ok_; }

private:
    bool ok_;
};

class SdlAudioDevice {
public:
    SdlAudioDevice() = default;
    ~SdlAudioDevice() { close(); }
    SdlAudioDevice(const SdlAudioDevice&) = delete;
    SdlAudioDevice& operator=(const SdlAudioDevice&) = delete;

    // Opens the named device (empty name: the default device) for playback,
    // or for recording when capture is set, with exactly the format asked
    // for; SDL converts for the hardware. False, with error() set, when SDL
    // refuses. The device starts paused.
    bool open(const QString& name, const sdl::AudioFormat& want, bool capture = false);
    // Stops the callback for good and closes the device.
    void close();

    SDL_AudioDeviceID id() const { return id_; }
    bool isOpen() const { return id_ != 0; }
    // False once SDL has found the device gone (unplugged, a write failed).
    bool alive() const;
    void pause(bool paused);
    const sdl::AudioFormat& obtained() const { return have_; }
    const QString& error() const { return error_; }

private:
    SDL_AudioDeviceID id_ = 0;
    sdl::AudioFormat have_{};
    QString error_;
};

}  // namespace dw
