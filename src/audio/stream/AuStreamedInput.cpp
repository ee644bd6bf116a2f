#include "audio/stream/AuStreamedInput.h"

#include <algorithm>
#include <cmath>

namespace dw {

TAuStreamedInput::TAuStreamedInput()
{
    Seekable = true;
}

TAuStreamedInput::~TAuStreamedInput() = default;

void TAuStreamedInput::SetStream(TStream* stream)
{
    if (OwnedStream && OwnedStream.get() != stream)
        OwnedStream.reset();
    Stream = stream;
    StreamAssigned = stream != nullptr;
}

void TAuStreamedInput::SetOwnedStream(std::unique_ptr<TStream> stream)
{
    OwnedStream = std::move(stream);
    Stream = OwnedStream.get();
}

void TAuStreamedInput::FreeOwnedStream()
{
    if (!OwnedStream)
        return;
    if (Stream == OwnedStream.get())
        Stream = nullptr;
    OwnedStream.reset();
}

void TAuStreamedInput::account(uint32_t& bytes)
{
    if (bytes == 0) {
        EndOfData = true;
        return;
    }
    Position += bytes;
    const int64_t size = Size;
    if (size > 0 && Position >= size) {
        EndOfData = true;
        const int64_t excess = Position - size;
        if (excess > 0) {
            bytes = excess >= bytes ? 0 : bytes - static_cast<uint32_t>(excess);
            Position = size;
        }
    }
}

void TAuStreamedInput::restart()
{
    EndOfData = false;
    if (Seekable) {
        int64_t start = StartSample;
        DoSeek(start);
    } else {
        Flush();
        Init();
    }
    Position = 0;
}

void TAuStreamedInput::ReadFromSource(void*& buffer, uint32_t& bytes)
{
    const uint32_t wanted = bytes;
    if (EndOfData) {
        // The end was reached by an earlier call: a looping input starts
        // over here, any other input has nothing more to give.
        if (!Loop) {
            buffer = nullptr;
            bytes = 0;
            return;
        }
        restart();
        DoGetData(buffer, bytes);
        account(bytes);
        return;
    }
    DoGetData(buffer, bytes);
    account(bytes);
    // Data that reached the end is handed out first; the restart of a
    // looping input happens in this call only when nothing came.
    if (bytes == 0 && EndOfData && Loop) {
        restart();
        bytes = wanted;
        DoGetData(buffer, bytes);
        account(bytes);
    }
}

bool TAuStreamedInput::Seek(int64_t sampleNum)
{
    if (!Seekable || sampleNum < 0)
        return false;
    if (TotalSamples != 0 && TotalSamples < sampleNum)
        return false;
    std::lock_guard<std::recursive_mutex> lock(DataLock);
    if (Busy) {
        DropPrefetched();
        sampleNum += StartSample;
        bool result = false;
        try {
            result = DoSeek(sampleNum);
        } catch (const std::exception&) {
            return false;
        }
        Position = (sampleNum - StartSample) * SampleSize;
        if (result)
            EndOfData = Size > 0 && Position >= Size;
        return result;
    }
    StartSample = sampleNum;
    Position = sampleNum * SampleSize;
    EndSample = -1;
    return true;
}

bool TAuStreamedInput::Jump(int32_t offset)
{
    const int64_t size = Size;
    if (!Seekable || size <= 0)
        return false;
    double fraction = static_cast<double>(Position) / static_cast<double>(size) + offset / 1000.0;
    fraction = std::clamp(fraction, 0.0, 1.0);
    return Seek(static_cast<int64_t>(std::nearbyint(static_cast<double>(TotalSamples) * fraction)));
}

}  // namespace dw
