#include "player/DXAudioOut.h"

#include "audio/stream/AuConverter.h"
#include "audio/stream/AuException.h"
#include "audio/stream/AuFileIn.h"
#include "audio/stream/AuThread.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>
#include <cmath>
#include <thread>

namespace dw {

namespace {

using Clock = std::chrono::steady_clock;

// The largest buffer a run may ask for (a guard against absurd settings).
constexpr uint64_t kMaxBufferBytes = 64u << 20;

QString hex8(int32_t code)
{
    return QStringLiteral("%1").arg(static_cast<uint32_t>(code), 8, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

TDXAudioOut::TDXAudioOut()
{
    EnumerateOutputDevices(DeviceList);
}

TDXAudioOut::~TDXAudioOut()
{
    *alive_ = false;
    Stop(false);
}

void TDXAudioOut::SetFramesInBuffer(uint32_t frames)
{
    if (!Busy)
        FramesInBuffer = frames;
}

void TDXAudioOut::SetVolume(int32_t volume)
{
    Volume = volume;
    // While the worker is parked the state is ours; otherwise the worker
    // applies the new value with its next refill.
    if (Thread->Paused && State.Buffer) {
        SetOutputVolume(State, volume);
        AppliedVolume = volume;
    }
}

void TDXAudioOut::Pause()
{
    TAuOutput::Pause();
    // The state is the main thread's only while the worker is parked.
    if (!EndOfInput && Thread->Paused) {
        StopPlayback(State);
        if (State.Buffer)
            played_ = State.Buffer->Consumed() - playStart_;
    }
}

void TDXAudioOut::Resume()
{
    // A pause that came once the end of the input was found left the device
    // playing out (Pause did not stop it); the worker is woken all the same,
    // or the run would never end.
    if (!EndOfInput && Thread->Paused)
        RestartPlayback(State);
    TAuOutput::Resume();
}

void TDXAudioOut::Jump(int32_t offset)
{
    Pause();
    if (Thread->Paused && State.Buffer)
        WriteSilence(State, SilenceByte);
    if (TAuInput* top = Input) {
        top->FillWithSilence();
        // Down the converters to the file input, which is sought; then back
        // up, each converter taking the new position of its source.
        std::vector<TAuConverter*> converters;
        TAuInput* in = top;
        while (auto* converter = dynamic_cast<TAuConverter*>(in)) {
            converters.push_back(converter);
            in = converter->GetInput();
        }
        if (auto* file = dynamic_cast<TAuFileIn*>(in)) {
            file->Jump(offset);
            for (auto it = converters.rbegin(); it != converters.rend(); ++it)
                (*it)->FollowInputPosition();
        }
    }
    Resume();
}

void TDXAudioOut::Prepare()
{
    prepareTime_ = Clock::now();
    Closed = false;
    if (DeviceNumber < 0 || DeviceNumber >= DeviceList.Count)
        throw EAuException("Invalid device number");
    Input->Init();
    Channels = Input->GetChannels();
    SampleRate = Input->GetSampleRate();
    if (SpeedFactor != 1.0f)
        SampleRate = static_cast<uint32_t>(std::lround(SampleRate * double(SpeedFactor)));
    BitsPerSample = Input->GetBitsPerSample();
    if (Latency != 0) {
        Latency = std::max<uint32_t>(Latency, 10);
        FramesInBuffer = static_cast<uint32_t>(uint64_t(Latency) * SampleRate / 1000);
        PollingInterval = Latency / 3;
    }

    State.Clear();
    const int32_t opened = OpenDevice(State, DeviceList.Devices[static_cast<size_t>(DeviceNumber)].Id);
    if (opened != kDsOk)
        throw EAuException("Failed to create DirectSound device");

    const uint64_t bytes = uint64_t(BitsPerSample / 8) * FramesInBuffer * Channels;
    SilenceByte = BitsPerSample == 8 ? 128 : 0;
    TDSFormat format;
    format.Channels = Channels;
    format.SampleRate = SampleRate;
    format.BitsPerSample = BitsPerSample;
    const int32_t created = bytes == 0 || bytes > kMaxBufferBytes
                                ? kDsErrInvalidParam
                                : CreateOutputBuffers(State, format, static_cast<uint32_t>(bytes));
    if (created != kDsOk)
        throw EAuException(QStringLiteral("Failed to create DirectSound buffer") + hex8(created));
    LocalBuffer.assign(State.BufferBytes, SilenceByte);

    FirstFill = true;
    EndOfInput = false;
    LastUnderruns = 0;
    DataEnd = 0;
    Partial.clear();
    played_ = 0;
    playStart_ = 0;
    startLatencyUs_ = 0;
}

void TDXAudioOut::firstFill()
{
    bool end = false;
    uint32_t got = Input->FillBuffer(LocalBuffer.data(), State.BufferBytes, end);
    got -= got % State.BytesPerFrame;
    EndOfInput = end;
    WriteBlock(State, LocalBuffer.data(), got);
    if (end) {
        DataEnd = State.WritePos;
        WriteSilence(State, SilenceByte);
    }
    AppliedVolume = Volume.load();
    SetOutputVolume(State, AppliedVolume);
    StartPlayback(State);
    playStart_ = State.Buffer->Consumed();
    startLatencyUs_ = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - prepareTime_).count();
    FirstFill = false;
}

// One polling interval; with PrefetchData the input reads ahead a quarter
// more than an interval's worth first, and the rest of the interval is slept.
void TDXAudioOut::waitInterval()
{
    const auto interval = std::chrono::milliseconds(std::max<uint32_t>(PollingInterval, 1));
    const auto until = Clock::now() + interval;
    if (PrefetchData) {
        const uint64_t intervalBytes = uint64_t(PollingInterval) * SampleRate / 1000 * State.BytesPerFrame;
        uint64_t ahead = intervalBytes * 5 / 4;
        ahead -= ahead % State.BytesPerFrame;
        if (ahead > 0)
            Input->Prefetch(static_cast<uint32_t>(std::min<uint64_t>(ahead, kMaxBufferBytes)));
    }
    std::this_thread::sleep_until(until);
}

// Waits for room in the buffer: up to 16 intervals; a 17th ends the run.
// Gives 0 when a stop was asked for meanwhile.
uint32_t TDXAudioOut::waitForRoom()
{
    for (int wait = 1; wait <= 17; ++wait) {
        waitInterval();
        if (Thread->StopRequest)
            return 0;
        if (wait == 17)
            break;
        uint32_t n = QueryWritableBytes(State);
        played_ = State.Buffer->Consumed() - playStart_;
        n -= n % State.BytesPerFrame;
        if (n > 0)
            return n;
    }
    throw EAuException("Audio output error");
}

// Writes whole frames; a frame split between two reads waits for its rest.
void TDXAudioOut::writeData(const uint8_t* data, uint32_t bytes)
{
    const uint32_t frame = State.BytesPerFrame;
    if (Partial.empty() && bytes % frame == 0) {
        WriteBlock(State, data, bytes);
        return;
    }
    Partial.insert(Partial.end(), data, data + bytes);
    const uint32_t whole = static_cast<uint32_t>(Partial.size() - Partial.size() % frame);
    WriteBlock(State, Partial.data(), whole);
    Partial.erase(Partial.begin(), Partial.begin() + whole);
}

bool TDXAudioOut::DoOutput(bool abort)
{
    if (!Busy)
        return true;
    if (!Active)
        return false;
    if (FirstFill)
        firstFill();
    if (abort) {
        StopPlayback(State);
        Active = false;
        return false;
    }
    if (EndOfInput) {
        Active = false;
        drain();
        StopPlayback(State);
        return false;
    }

    const uint32_t n = std::min(waitForRoom(), State.BufferBytes);
    if (n == 0)
        return true;  // a stop came while waiting: the next call aborts
    if (PrefetchData) {
        void* data = nullptr;
        uint32_t bytes = n;
        Input->GetData(data, bytes);
        if (bytes == 0 || !data)
            EndOfInput = true;
        else
            writeData(static_cast<const uint8_t*>(data), std::min(bytes, n));
    } else {
        bool end = false;
        const uint32_t got = Input->FillBuffer(LocalBuffer.data(), n, end);
        EndOfInput = got == 0;
        writeData(LocalBuffer.data(), got);
    }
    if (EndOfInput) {
        DataEnd = State.WritePos;
        WriteSilence(State, SilenceByte);
    }

    if (Volume != AppliedVolume) {
        AppliedVolume = Volume.load();
        SetOutputVolume(State, AppliedVolume);
    }
    const uint32_t underruns = State.Underruns;
    if (underruns != LastUnderruns) {
        LastUnderruns = underruns;
        StopPlayback(State);
        WriteSilence(State, SilenceByte);
        deliverUnderrun();
        RestartPlayback(State);
    }
    return true;
}

// After the input ended: keeps the buffer topped up with silence until the
// device has taken the last real data (at most the buffer's length and one
// second more), then lets one more device period play out.
void TDXAudioOut::drain()
{
    if (!State.Buffer || !State.Device)
        return;
    const auto bufferTime = std::chrono::milliseconds(uint64_t(State.BufferBytes) * 1000 /
                                                      std::max<uint64_t>(1, uint64_t(SampleRate) * State.BytesPerFrame));
    const auto limit = Clock::now() + bufferTime + std::chrono::seconds(1);
    const auto step = std::chrono::milliseconds(std::max<uint32_t>(PollingInterval, 1));
    while (State.Buffer->Consumed() < DataEnd) {
        if (Thread->StopRequest || !State.Device->alive() || Clock::now() >= limit)
            return;
        std::this_thread::sleep_for(step);
        WriteSilence(State, SilenceByte);
        played_ = State.Buffer->Consumed() - playStart_;
    }
    const sdl::AudioFormat& format = State.Device->obtained();
    if (format.freq > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(2 * 1000 * format.samples / format.freq + 1));
}

void TDXAudioOut::deliverUnderrun()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    std::shared_ptr<std::atomic<bool>> alive = alive_;
    QMetaObject::invokeMethod(
        app,
        [this, alive] {
            if (*alive && OnUnderrun)
                OnUnderrun(this);
        },
        Qt::QueuedConnection);
}

void TDXAudioOut::Done()
{
    if (Closed)
        return;
    if (State.Buffer)
        played_ = State.Buffer->Consumed() - playStart_;
    CloseDevice(State);
    std::vector<uint8_t>().swap(LocalBuffer);
    Partial.clear();
    Input->Flush();
    Closed = true;
}

}  // namespace dw
