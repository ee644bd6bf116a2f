#pragma once
// The SDL2 audio functions the program uses, over libSDL2 opened at run time
// (see RuntimeLibrary.h): only playing and recording need the sound system,
// and linking it would map it and its dependencies at every start.
//
// The functions carry SDL's own signatures and meanings. When the library is
// missing, InitSubSystem fails with -1 and GetError gives the message naming
// the library; the others do nothing and give 0 (they are only called on a
// device that was opened).

#include <SDL.h>

namespace dw::sdl {

using AudioFormat = SDL_AudioSpec;

int InitSubSystem(Uint32 flags);
void QuitSubSystem(Uint32 flags);
Uint32 WasInit(Uint32 flags);
const char* GetError();

int GetNumAudioDevices(int iscapture);
const char* GetAudioDeviceName(int index, int iscapture);
SDL_AudioDeviceID OpenAudioDevice(const char* device, int iscapture, const AudioFormat* desired,
                                  AudioFormat* obtained, int allowedChanges);
void CloseAudioDevice(SDL_AudioDeviceID dev);
void PauseAudioDevice(SDL_AudioDeviceID dev, int pauseOn);
SDL_AudioStatus GetAudioDeviceStatus(SDL_AudioDeviceID dev);
void LockAudioDevice(SDL_AudioDeviceID dev);
void UnlockAudioDevice(SDL_AudioDeviceID dev);
int QueueAudio(SDL_AudioDeviceID dev, const void* data, Uint32 len);
Uint32 DequeueAudio(SDL_AudioDeviceID dev, void* data, Uint32 len);
Uint32 GetQueuedAudioSize(SDL_AudioDeviceID dev);

}  // namespace dw::sdl
