#pragma once
// An input that reads a named file (or a caller-supplied stream).
//
// Descendants implement OpenFile/CloseFile: OpenFile, under FileLock and only
// while OpenCount is 0, opens the stream (SetOwnedStream(TAuFileStream(...,
// fmOpenRead | fmShareDenyWrite)) when no stream was supplied), reads the
// header and sets Valid, Size, BitsPerSample, SampleRate, Channels; it
// increments OpenCount. CloseFile, under FileLock and only when open, frees
// an owned stream (or rewinds a supplied one) and sets OpenCount to 0.
// A descendant's destructor should call CloseFile itself (the base cannot
// call the descendant once it is being destroyed).

#include "audio/stream/AuStreamedInput.h"

#include <QString>

namespace dw {

class TAuFileIn : public TAuStreamedInput {
public:
    TAuFileIn();
    ~TAuFileIn() override;

    uint32_t GetBitsPerSample() override;
    uint32_t GetChannels() override;
    uint32_t GetSampleRate() override;
    uint32_t GetTotalTime() override;
    int64_t GetTotalSamples() override;

    const QString& GetFileName() const { return FileName; }
    virtual void SetFileName(const QString& fileName);
    void SetStream(TStream* stream) override;
    void Reset() override;

    // Whether the file was recognised (opens it; a failure reads as not valid).
    bool IsValid();

protected:
    void DoInit() override;
    void DoFlush() override;
    virtual void OpenFile() = 0;
    virtual void CloseFile() = 0;

    QString FileName;
    std::recursive_mutex FileLock;
    uint32_t OpenCount = 0;
    bool Valid = false;
    uint32_t BitsPerSample = 0;
    uint32_t SampleRate = 0;
    uint32_t Channels = 0;
    uint32_t TotalTime = 0;
};

}  // namespace dw
