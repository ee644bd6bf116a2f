#pragma once
// TDXAudioOut: the stream output that plays PCM on a sound device. Its worker
// keeps a looping buffer of Latency milliseconds (or FramesInBuffer frames)
// filled from the input, refilling every PollingInterval, notices under-runs
// and reports them through OnUnderrun; the owner may pause, resume and jump.
//
//   TDXAudioOut out;            // main thread; lists the devices
//   out.SetInput(&balance);
//   out.SetLatency(80);         // 80 ms buffer, refilled every 26 ms
//   out.OnDone = ...;
//   out.Run();
//   out.Jump(+300);             // 30 % of the whole further on
//
// Failures of a run (device, buffer, a device that stops taking data) reach
// the owner as ExceptionMessage with OnThreadException, then OnDone.
//
// Threads: the setters, Pause, Resume, Jump and SetVolume are called on the
// main thread; Prepare, DoOutput and Done run on the worker. OnUnderrun is
// delivered on the main thread (through its event loop) and never after
// the output is destroyed.

#include "audio/stream/AuOutput.h"
#include "player/DSDeviceList.h"
#include "player/DSWrapper.h"
#include "platform/SdlAudio.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace dw {

class TDXAudioOut;
using TUnderrunEvent = std::function<void(TDXAudioOut* sender)>;

class TDXAudioOut : public TAuOutput {
public:
    TDXAudioOut();
    ~TDXAudioOut() override;

    int32_t GetDeviceNumber() const { return DeviceNumber; }
    void SetDeviceNumber(int32_t n) { DeviceNumber = n; }
    // Milliseconds; when non-zero it decides FramesInBuffer (at least 10 ms)
    // and PollingInterval (a third of it) at each start.
    uint32_t GetLatency() const { return Latency; }
    void SetLatency(uint32_t ms) { Latency = ms; }
    bool GetPrefetchData() const { return PrefetchData; }
    void SetPrefetchData(bool on) { PrefetchData = on; }
    uint32_t GetPollingInterval() const { return PollingInterval; }
    void SetPollingInterval(uint32_t ms) { PollingInterval = ms; }
    uint32_t GetFramesInBuffer() const { return FramesInBuffer; }
    // Ignored while busy.
    void SetFramesInBuffer(uint32_t frames);
    float GetSpeedFactor() const { return SpeedFactor; }
    void SetSpeedFactor(float factor) { SpeedFactor = factor; }
    // 1/100 dB, 0 = full volume; applied at once when playing.
    int32_t GetVolume() const { return Volume; }
    void SetVolume(int32_t volume);

    // Pause stops the device after the worker has parked (unless the input
    // has ended); Resume restarts it. Jump moves by offset thousandths of the
    // whole file: the file input at the bottom of the chain is sought.
    void Pause();
    void Resume();
    void Jump(int32_t offset);

    const TDSDeviceList& Devices() const { return DeviceList; }
    // Under-runs counted in the current (or last) run.
    uint32_t Underruns() const { return State.Underruns; }
    // Bytes the device has taken from the buffer in this run (diagnostics,
    // and a play position that does not run ahead by the buffer).
    uint64_t PlayedBytes() const { return played_; }
    // Time from the start of the run (Prepare) to the start of playback.
    std::chrono::microseconds StartLatency() const { return std::chrono::microseconds(startLatencyUs_.load()); }

    TUnderrunEvent OnUnderrun;

protected:
    void Prepare() override;
    bool DoOutput(bool abort) override;
    void Done() override;

private:
    void firstFill();
    uint32_t waitForRoom();
    void waitInterval();
    void writeData(const uint8_t* data, uint32_t bytes);
    void drain();
    void deliverUnderrun();

    SdlAudioSubsystem Sdl;  // held for the output's lifetime (made on the main thread)
    int32_t DeviceNumber = 0;
    std::atomic<uint32_t> Latency{100};
    bool PrefetchData = true;
    std::atomic<uint32_t> PollingInterval{100};
    std::atomic<uint32_t> FramesInBuffer{24576};
    float SpeedFactor = 1.0f;
    std::atomic<int32_t> Volume{0};
    std::atomic<int32_t> AppliedVolume{0};

    bool Closed = true;
    TDSoundState State;
    TDSDeviceList DeviceList;
    uint32_t Channels = 0;
    uint32_t SampleRate = 0;
    uint32_t BitsPerSample = 0;
    std::atomic<bool> EndOfInput{false};
    bool FirstFill = false;
    std::vector<uint8_t> LocalBuffer;
    uint8_t SilenceByte = 0;
    uint32_t LastUnderruns = 0;
    // The end of the real data in the buffer (absolute), once the input ended.
    uint64_t DataEnd = 0;
    // Bytes of a frame split across two reads, held until the frame is whole.
    std::vector<uint8_t> Partial;
    std::chrono::steady_clock::time_point prepareTime_{};
    std::atomic<int64_t> startLatencyUs_{0};
    std::atomic<uint64_t> played_{0};
    uint64_t playStart_ = 0;
    // Cleared by the destructor, so that a queued OnUnderrun is dropped.
    std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
};

}  // namespace dw
