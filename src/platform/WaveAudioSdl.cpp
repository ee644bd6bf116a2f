#include "platform/WaveAudioSdl.h"

#include "platform/SdlLibrary.h"

namespace dw {

bool SdlQueuedDevice::open(const TWaveAudioFormat& format, bool capture, QString* error)
{
    close();
    if (!sdl_.ok()) {
        if (error)
            *error = QString("the sound system cannot be started: %1").arg(QString::fromUtf8(dw::sdl::GetError()));
        return false;
    }
    sdl::AudioFormat want{};
    want.freq = format.sampleRate;
    want.format = format.bits == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    want.channels = Uint8(format.channels);
    // About 1/20 s per buffer, a power of two as drivers prefer.
    Uint16 samples = 256;
    while (samples < 4096 && samples * 20 < format.sampleRate)
        samples = Uint16(samples * 2);
    want.samples = samples;
    // SDL converts between this format and the hardware's, so what it
    // obtained is not needed.
    if (device_.open(QString(), want, capture))
        return true;
    if (error)
        *error = QString("the %1 device cannot be opened: %2").arg(capture ? "recording" : "playback", device_.error());
    return false;
}

}  // namespace dw
