#include "platform/SdlLibrary.h"

#include "platform/RuntimeLibrary.h"

#include <QByteArray>

#include <mutex>

namespace dw::sdl {

namespace {

// Every entry point, once: the table below and its binding are made from it.
#define DW_SDL_ENTRIES(X)                                                                                      \
    X(InitSubSystem) X(QuitSubSystem) X(WasInit) X(GetError) X(GetNumAudioDevices) X(GetAudioDeviceName)       \
        X(OpenAudioDevice) X(CloseAudioDevice) X(PauseAudioDevice) X(GetAudioDeviceStatus) X(LockAudioDevice) \
            X(UnlockAudioDevice) X(QueueAudio) X(DequeueAudio) X(GetQueuedAudioSize) X(SetHint)

struct Api {
#define DW_SDL_ENTRY(name) decltype(&::SDL_##name) name = nullptr;
    DW_SDL_ENTRIES(DW_SDL_ENTRY)
#undef DW_SDL_ENTRY
};

const char* bindAll(void* h, Api& api)
{
    const char* absent = nullptr;
#define DW_BIND(name) runtime::Bind(api.name, h, "SDL_" #name, absent);
    DW_SDL_ENTRIES(DW_BIND)
#undef DW_BIND
    return absent;
}

runtime::TLazyLibrary<Api>& library()
{
    static runtime::TLazyLibrary<Api> lib("libSDL2-2.0.so.0", "DISCWRIGHT_SDL_LIBDIR", &bindAll);
    return lib;
}

// The message of the last failed load, for GetError.
std::mutex gFailureLock;
QByteArray gFailure;

const Api* api()
{
    return library().Get();
}

}  // namespace

int InitSubSystem(Uint32 flags)
{
    QString failure;
    const Api* a = library().Get(&failure);
    if (!a) {
        std::lock_guard<std::mutex> lock(gFailureLock);
        if (gFailure.isEmpty())  // set once: GetError hands out its text
            gFailure = failure.toUtf8();
        return -1;
    }
    // When a device does not take the rate asked for, SDL converts it. Its
    // own converter is a short windowed sinc, well below the file converters'
    // quality; this asks for libsamplerate's best band-limited converter
    // instead (SDL keeps its own when that library is absent). Read when
    // audio starts; an SDL_AUDIO_RESAMPLING_MODE in the environment wins.
    if (flags & SDL_INIT_AUDIO)
        a->SetHint(SDL_HINT_AUDIO_RESAMPLING_MODE, "best");
    return a->InitSubSystem(flags);
}

void QuitSubSystem(Uint32 flags)
{
    if (const Api* a = api())
        a->QuitSubSystem(flags);
}

Uint32 WasInit(Uint32 flags)
{
    const Api* a = api();
    return a ? a->WasInit(flags) : 0;
}

const char* GetError()
{
    if (const Api* a = api())
        return a->GetError();
    // Without the library the only error is that it is missing.
    std::lock_guard<std::mutex> lock(gFailureLock);
    return gFailure.isEmpty() ? "the sound system library is not loaded" : gFailure.constData();
}

int GetNumAudioDevices(int iscapture)
{
    const Api* a = api();
    return a ? a->GetNumAudioDevices(iscapture) : 0;
}

const char* GetAudioDeviceName(int index, int iscapture)
{
    const Api* a = api();
    return a ? a->GetAudioDeviceName(index, iscapture) : nullptr;
}

SDL_AudioDeviceID OpenAudioDevice(const char* device, int iscapture, const AudioFormat* desired,
                                  AudioFormat* obtained, int allowedChanges)
{
    const Api* a = api();
    return a ? a->OpenAudioDevice(device, iscapture, desired, obtained, allowedChanges) : 0;
}

void CloseAudioDevice(SDL_AudioDeviceID dev)
{
    if (const Api* a = api())
        a->CloseAudioDevice(dev);
}

void PauseAudioDevice(SDL_AudioDeviceID dev, int pauseOn)
{
    if (const Api* a = api())
        a->PauseAudioDevice(dev, pauseOn);
}

SDL_AudioStatus GetAudioDeviceStatus(SDL_AudioDeviceID dev)
{
    const Api* a = api();
    return a ? a->GetAudioDeviceStatus(dev) : SDL_AUDIO_STOPPED;
}

void LockAudioDevice(SDL_AudioDeviceID dev)
{
    if (const Api* a = api())
        a->LockAudioDevice(dev);
}

void UnlockAudioDevice(SDL_AudioDeviceID dev)
{
    if (const Api* a = api())
        a->UnlockAudioDevice(dev);
}

int QueueAudio(SDL_AudioDeviceID dev, const void* data, Uint32 len)
{
    const Api* a = api();
    return a ? a->QueueAudio(dev, data, len) : -1;
}

Uint32 DequeueAudio(SDL_AudioDeviceID dev, void* data, Uint32 len)
{
    const Api* a = api();
    return a ? a->DequeueAudio(dev, data, len) : 0;
}

Uint32 GetQueuedAudioSize(SDL_AudioDeviceID dev)
{
    const Api* a = api();
    return a ? a->GetQueuedAudioSize(dev) : 0;
}

}  // namespace dw::sdl
