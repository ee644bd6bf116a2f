#pragma once
// Base of every data source of the pull-model stream framework.
//
// Buffer contract of DoGetData/GetData: on entry `bytes` is the most the
// caller wants; on return `buffer` points at data owned by the input and
// `bytes` says how much (0 = no more data). The pointer stays valid until the
// next call on the same input.
//
// Threads: inputs are read on the worker thread of the output at the end of
// the chain; the main thread may meanwhile call Seek, Jump, Prefetch,
// FillWithSilence or re-wire a converter. DataLock serialises all of these.

#include <QString>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace dw {

class TAuInput;

// Something that holds a link to an input (an output or a converter) and must
// forget it when the input is destroyed.
class TAuInputLinkHolder {
public:
    virtual ~TAuInputLinkHolder() = default;
    // Called from the input's destructor: drop every link to `input`.
    virtual void InputRemoved(TAuInput* input) = 0;
};

class TAuInput {
public:
    TAuInput();
    virtual ~TAuInput();
    TAuInput(const TAuInput&) = delete;
    TAuInput& operator=(const TAuInput&) = delete;

    // Format and length queries; callable before Init.
    virtual uint32_t GetBitsPerSample() = 0;
    virtual uint32_t GetChannels() = 0;
    virtual uint32_t GetSampleRate() = 0;
    virtual uint32_t GetTotalTime();    // seconds; base 0
    virtual int64_t GetTotalSamples();  // sample frames; base 0

    virtual void SetKeepFlagBit(bool keep);
    bool GetKeepFlagBit() const { return KeepFlagBit; }

    // Prepares the input for a run. Any failure of DoInit leaves EndOfData
    // set and is raised again as EAuException with the same message.
    void Init();
    // Ends the run: drops prefetched data, then DoFlush.
    void Flush();

    // The public read (see the buffer contract above).
    virtual void GetData(void*& buffer, uint32_t& bytes);
    // One GetData of at most bufferSize bytes copied into buffer; 0 = end.
    uint32_t CopyData(void* buffer, uint32_t bufferSize);
    // GetData repeatedly until bufferSize bytes are gathered or a call gives
    // nothing; endOfInput tells whether the last call gave nothing.
    uint32_t FillBuffer(void* buffer, uint32_t bufferSize, bool& endOfInput);

    // Flush ignoring any exception, then not Busy.
    virtual void Reset();
    // Reads ahead into the prefetch buffer so later reads come from memory.
    virtual void Prefetch(uint32_t bytes);
    // Marks the whole prefetch buffer as unread silence.
    void FillWithSilence();
    virtual void Pause();
    virtual void Resume();

    int64_t GetSize() const { return Size; }          // -1 = unknown
    int64_t GetPosition() const { return Position; }  // bytes handed out since Init
    uint16_t GetSampleSize() const { return SampleSize; }
    bool IsSeekable() const { return Seekable; }
    bool IsBusy() const { return Busy; }
    bool IsEndOfData() const { return EndOfData; }

    // Link bookkeeping: holders are told when this input is destroyed.
    void AddLinkHolder(TAuInputLinkHolder* holder);
    void RemoveLinkHolder(TAuInputLinkHolder* holder);

protected:
    virtual void DoInit() = 0;
    virtual void DoFlush() = 0;
    virtual void DoGetData(void*& buffer, uint32_t& bytes) = 0;

    // One read from the source with this class's accounting of Position,
    // Size and EndOfData, without looking at prefetched data. The base calls
    // DoGetData and leaves Position alone; streamed inputs and converters
    // override it. Called with DataLock held.
    virtual void ReadFromSource(void*& buffer, uint32_t& bytes);
    // Hands out prefetched data when any is held; true when it did.
    // Called with DataLock held.
    bool TakePrefetched(void*& buffer, uint32_t& bytes);
    // Drops prefetched data. Called with DataLock held.
    void DropPrefetched();

    std::atomic<int64_t> Position{0};
    std::atomic<int64_t> Size{0};
    uint16_t SampleSize = 0;
    bool Seekable = false;
    std::atomic<bool> Busy{false};
    uint32_t BufStart = 1;
    uint32_t BufEnd = 0;
    std::recursive_mutex DataLock;
    std::atomic<bool> EndOfData{false};
    bool KeepFlagBit = false;
    std::vector<uint8_t> PrefetchBuffer;
    uint32_t PrefetchCount = 0;
    uint32_t PrefetchOffset = 0;

private:
    uint32_t fillPrefetch(uint32_t from, uint32_t wanted);

    std::mutex holdersLock_;
    std::vector<TAuInputLinkHolder*> holders_;
};

}  // namespace dw
