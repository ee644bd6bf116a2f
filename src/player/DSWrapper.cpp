#include "player/DSWrapper.h"

#include "platform/SdlLibrary.h"

#include <algorithm>
#include <cmath>

namespace dw {

namespace {

// Device period in frames: a power of two of at most a quarter of the
// buffer, so that the callback never asks for more than the buffer holds
// and the writer, polling a few times per buffer, keeps ahead of it.
uint16_t devicePeriod(uint32_t framesInBuffer)
{
    uint32_t period = 4096;
    while (period > 64 && period > framesInBuffer / 4)
        period /= 2;
    return static_cast<uint16_t>(period);
}

bool playableBits(uint32_t bits)
{
    return bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

}  // namespace

void TDSoundState::Clear()
{
    if (Device)
        Device->close();
    Device.reset();
    Buffer.reset();
    DeviceId.clear();
    WritePos = 0;
    BufferBytes = 0;
    BytesPerFrame = 0;
    TicksPerBuffer = 0;
    LastCounter = {};
    LastPlayPos = 0;
    Underruns = 0;
    Playing = false;
}

int32_t OpenDevice(TDSoundState& state, const QString& deviceId)
{
    if (dw::sdl::WasInit(SDL_INIT_AUDIO) == 0)
        return kDsErrNoDriver;
    state.DeviceId = deviceId;
    state.Device = std::make_unique<SdlAudioDevice>();
    return kDsOk;
}

int32_t CreateOutputBuffers(TDSoundState& state, const TDSFormat& format, uint32_t bytes)
{
    if (!state.Device)
        return kDsErrNoDriver;
    const uint32_t frame = format.BlockAlign();
    if (!playableBits(format.BitsPerSample) || format.Channels == 0 || format.Channels > 8 ||
        format.SampleRate == 0 || frame == 0 || bytes < frame)
        return kDsErrInvalidParam;
    bytes -= bytes % frame;
    state.Buffer = std::make_unique<TLoopBuffer>(bytes, format.Channels, format.BitsPerSample);
    state.BufferBytes = bytes;
    state.BytesPerFrame = frame;

    sdl::AudioFormat want{};
    want.freq = static_cast<int>(std::min<uint32_t>(format.SampleRate, INT32_MAX));
    want.format = state.Buffer->DeviceFormat();
    want.channels = static_cast<Uint8>(format.Channels);
    want.samples = devicePeriod(bytes / frame);
    want.callback = &TLoopBuffer::Callback;
    want.userdata = state.Buffer.get();
    if (!state.Device->open(state.DeviceId, want)) {
        state.Buffer.reset();
        return kDsErrGeneric;
    }
    const auto ticksPerSecond = TDSoundState::Clock::period::den / TDSoundState::Clock::period::num;
    state.TicksPerBuffer = static_cast<int64_t>(ticksPerSecond * int64_t(bytes / frame) / format.SampleRate);
    state.WritePos = state.Buffer->Reading();
    dw::sdl::PauseAudioDevice(state.Device->id(), 0);
    return kDsOk;
}

int32_t StartPlayback(TDSoundState& state)
{
    if (!state.Buffer || !state.Device || !state.Device->isOpen())
        return kDsErrNoDriver;
    dw::sdl::LockAudioDevice(state.Device->id());
    // The start of the pass of the buffer that holds the data before WritePos.
    const uint64_t start = state.WritePos == 0 ? 0 : (state.WritePos - 1) / state.BufferBytes * state.BufferBytes;
    state.Buffer->ResetCursors(start);
    state.LastCounter = TDSoundState::Clock::now();
    state.LastPlayPos = 0;
    state.Buffer->SetPlaying(true);
    state.Playing = true;
    dw::sdl::UnlockAudioDevice(state.Device->id());
    return kDsOk;
}

int32_t StopPlayback(TDSoundState& state)
{
    state.Playing = false;
    if (state.Buffer)
        state.Buffer->SetPlaying(false);
    return kDsOk;
}

int32_t RestartPlayback(TDSoundState& state)
{
    if (!state.Buffer)
        return kDsErrNoDriver;
    state.Buffer->SetPlaying(true);
    state.Playing = true;
    return kDsOk;
}

uint32_t QueryWritableBytes(TDSoundState& state)
{
    if (!state.Buffer)
        return 0;
    // Play cursor first: the write cursor is published before the play
    // cursor moves up to it, so the pair read in this order is consistent.
    const uint64_t play = state.Buffer->Consumed();
    const uint64_t writeCursor = std::max(play, state.Buffer->Reading());
    state.LastCounter = TDSoundState::Clock::now();
    state.LastPlayPos = static_cast<uint32_t>(play % state.BufferBytes);
    if (state.WritePos < writeCursor) {
        // The device has read (or is reading) where the next data was to go.
        if (state.Playing)
            ++state.Underruns;
        state.WritePos = writeCursor;
        state.Buffer->Publish(state.WritePos);
    }
    const uint64_t pending = state.WritePos - play;
    return pending >= state.BufferBytes ? 0 : static_cast<uint32_t>(state.BufferBytes - pending);
}

int32_t WriteSilence(TDSoundState& state, uint8_t value)
{
    if (!state.Buffer)
        return kDsErrNoDriver;
    uint32_t n = QueryWritableBytes(state);
    n -= n % state.BytesPerFrame;
    if (n > 0) {
        state.Buffer->StoreFill(state.WritePos, value, n);
        state.WritePos += n;
        state.Buffer->Publish(state.WritePos);
    }
    return kDsOk;
}

int32_t WriteBlock(TDSoundState& state, const void* data, uint32_t bytes)
{
    if (!state.Buffer)
        return kDsErrNoDriver;
    if (bytes == 0)
        return kDsOk;
    if (bytes > state.BufferBytes)
        return kDsErrInvalidParam;
    state.Buffer->Store(state.WritePos, data, bytes);
    state.WritePos += bytes;
    state.Buffer->Publish(state.WritePos);
    return kDsOk;
}

int32_t SetOutputVolume(TDSoundState& state, int32_t volume)
{
    if (!state.Buffer)
        return kDsErrNoDriver;
    volume = std::clamp(volume, -10000, 0);
    const float gain = volume <= -10000 ? 0.0f : static_cast<float>(std::pow(10.0, volume / 2000.0));
    state.Buffer->SetGain(gain);
    return kDsOk;
}

int32_t CloseDevice(TDSoundState& state)
{
    StopPlayback(state);
    if (state.Device)
        state.Device->close();  // joins SDL's audio thread: no callback after this
    state.Device.reset();
    state.Buffer.reset();
    return kDsOk;
}

}  // namespace dw
