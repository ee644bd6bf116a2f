#include "audio/stream/AuConverter.h"

#include <algorithm>

namespace dw {

TAuConverter::TAuConverter() = default;

TAuConverter::~TAuConverter()
{
    if (Input)
        Input->RemoveLinkHolder(this);
}

void TAuConverter::InputRemoved(TAuInput* input)
{
    std::lock_guard<std::recursive_mutex> lock(DataLock);
    if (Input == input)
        Input = nullptr;
}

void TAuConverter::SetInput(TAuInput* input)
{
    if (input == this)
        return;
    std::lock_guard<std::recursive_mutex> lock(DataLock);
    if (input == Input)
        return;
    if (Busy) {
        if (Input)
            Input->Flush();
        if (input)
            input->Init();
    }
    if (Input)
        Input->RemoveLinkHolder(this);
    Input = input;
    if (Input)
        Input->AddLinkHolder(this);
}

uint32_t TAuConverter::GetBitsPerSample()
{
    if (!Input)
        return 0;
    const uint32_t bits = Input->GetBitsPerSample();
    return KeepFlagBit ? bits : (bits & ~128u);
}

uint32_t TAuConverter::GetChannels()
{
    return Input ? Input->GetChannels() : 0;
}

uint32_t TAuConverter::GetSampleRate()
{
    return Input ? Input->GetSampleRate() : 0;
}

void TAuConverter::ReadFromSource(void*& buffer, uint32_t& bytes)
{
    if (EndOfData) {
        buffer = nullptr;
        bytes = 0;
        return;
    }
    DoGetData(buffer, bytes);
    Position += bytes;
    const int64_t size = Size;
    if (size > 0 && Position > size) {
        const int64_t excess = Position - size;
        bytes = excess >= bytes ? 0 : bytes - static_cast<uint32_t>(excess);
        EndOfData = true;
    }
    if (bytes == 0)
        EndOfData = true;
}

void TAuConverter::FollowInputPosition()
{
    std::lock_guard<std::recursive_mutex> lock(DataLock);
    const int64_t size = Size;
    const int64_t inSize = Input ? Input->GetSize() : 0;
    if (!Busy || size <= 0 || inSize <= 0)
        return;
    const double scaled = static_cast<double>(Input->GetPosition()) * static_cast<double>(size) /
                          static_cast<double>(inSize);
    const int64_t held = PrefetchCount > 0 ? int64_t(PrefetchCount) - int64_t(PrefetchOffset) : 0;
    Position = std::max<int64_t>(0, static_cast<int64_t>(scaled) - held);
    EndOfData = Position >= size;
}

void TAuConverter::Pause()
{
    if (Input)
        Input->Pause();
}

void TAuConverter::Resume()
{
    if (Input)
        Input->Resume();
}

}  // namespace dw
