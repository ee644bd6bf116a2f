#include "platform/WaveAudioSdl.h"

#include "platform/SdlLibrary.h"

namespace dw {

SdlAudioRef::SdlAudioRef() : ok_(dw::sdl::InitSubSystem(SDL_INIT_AUDIO) == 0) {}

SdlAudioRef::~SdlAudioRef()
{
    if (ok_)
        dw::sdl::QuitSubSystem(SDL_INIT_AUDIO);
}

bool SdlQueuedDevice::open(const TWaveAudioFormat& format, bool capture, QString* error)
{
    close();
    if (!sdl_.ok()) {
        if (error)
            *error = QString("the sound system cannot be started: %1").arg(QString::fromUtf8(dw::sdl::GetError()));
        return false;
    }
    SDL_AudioSpec want{};
    want.freq = format.sampleRate;
    want.format = format.bits == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    want.channels = Uint8(format.channels);
    // About 1/20 s per buffer, a power of two as drivers prefer.
    Uint16 samples = 256;
    while (samples < 4096 && samples * 20 < format.sampleRate)
        samples = Uint16(samples * 2);
    want.samples = samples;
    id_ = dw::sdl::OpenAudioDevice(nullptr, capture ? 1 : 0, &want, nullptr, 0);
    if (id_ == 0 && error)
        *error = QString("the %1 device cannot be opened: %2")
                     .arg(capture ? "recording" : "playback", QString::fromUtf8(dw::sdl::GetError()));
    return id_ != 0;
}

void SdlQueuedDevice::close()
{
    if (id_)
        dw::sdl::CloseAudioDevice(id_);
    id_ = 0;
}

void SdlQueuedDevice::pause(bool paused)
{
    if (id_)
        dw::sdl::PauseAudioDevice(id_, paused ? 1 : 0);
}

bool SdlQueuedDevice::alive() const
{
    return id_ && dw::sdl::GetAudioDeviceStatus(id_) != SDL_AUDIO_STOPPED;
}

}  // namespace dw
