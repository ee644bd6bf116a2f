#include "platform/SdlAudio.h"

namespace dw {

SdlAudioSubsystem::SdlAudioSubsystem() : ok_(dw::sdl::InitSubSystem(SDL_INIT_AUDIO) == 0) {}

SdlAudioSubsystem::~SdlAudioSubsystem()
{
    if (ok_)
        dw::sdl::QuitSubSystem(SDL_INIT_AUDIO);
}

bool SdlAudioDevice::open(const QString& name, const sdl::AudioFormat& want, bool capture)
{
    close();
    const QByteArray utf8 = name.toUtf8();
    id_ = dw::sdl::OpenAudioDevice(name.isEmpty() ? nullptr : utf8.constData(), capture ? 1 : 0, &want, &have_, 0);
    if (id_ == 0) {
        error_ = QString::fromUtf8(dw::sdl::GetError());
        return false;
    }
    error_.clear();
    return true;
}

void SdlAudioDevice::close()
{
    if (id_ != 0) {
        dw::sdl::CloseAudioDevice(id_);
        id_ = 0;
    }
}

void SdlAudioDevice::pause(bool paused)
{
    if (id_ != 0)
        dw::sdl::PauseAudioDevice(id_, paused ? 1 : 0);
}

bool SdlAudioDevice::alive() const
{
    return id_ != 0 && dw::sdl::GetAudioDeviceStatus(id_) != SDL_AUDIO_STOPPED;
}

}  // namespace dw
