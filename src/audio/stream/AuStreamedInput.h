#pragma once
// An input that reads from a TStream: adds a sample range, looping and seeking.

#include "audio/stream/AuInput.h"
#include "audio/stream/Stream.h"

#include <memory>

namespace dw {

class TAuStreamedInput : public TAuInput {
public:
    TAuStreamedInput();
    ~TAuStreamedInput() override;

    // Reads from a caller-supplied stream (not owned); nullptr = own file.
    virtual void SetStream(TStream* stream);
    TStream* GetStream() const { return Stream; }

    // Moves to sample frame sampleNum (relative to StartSample while a run
    // is in progress; otherwise it becomes the start of the next run).
    bool Seek(int64_t sampleNum);
    // Moves by offset thousandths of the whole (negative goes back).
    bool Jump(int32_t offset);

    int64_t GetStartSample() const { return StartSample; }
    void SetStartSample(int64_t sample) { StartSample = sample; }
    int64_t GetEndSample() const { return EndSample; }
    void SetEndSample(int64_t sample) { EndSample = sample; }
    bool GetLoop() const { return Loop; }
    void SetLoop(bool loop) { Loop = loop; }

protected:
    virtual bool DoSeek(int64_t& sampleNum) = 0;
    void ReadFromSource(void*& buffer, uint32_t& bytes) override;

    // Owned-stream helpers for OpenFile/CloseFile of descendants.
    void SetOwnedStream(std::unique_ptr<TStream> stream);  // Stream := it, owned
    void FreeOwnedStream();  // frees an owned stream (Stream := nullptr); a supplied one stays
    bool OwnsStream() const { return OwnedStream != nullptr; }

    TStream* Stream = nullptr;
    std::unique_ptr<TStream> OwnedStream;
    bool StreamAssigned = false;
    int64_t StartSample = 0;
    int64_t EndSample = -1;
    bool Loop = false;
    int64_t TotalSamples = 0;

private:
    // Counts a read: Position grows, the end of the range or an empty read
    // sets EndOfData, and data beyond Size is cut off.
    void account(uint32_t& bytes);
    // Starts a looping input over at StartSample.
    void restart();
};

}  // namespace dw
