#include "audio/stream/AuInput.h"

#include "audio/stream/AuException.h"

#include <algorithm>
#include <cstring>

namespace dw {

TAuInput::TAuInput() = default;

TAuInput::~TAuInput()
{
    // Tell every output or converter linked to this input to forget it.
    std::vector<TAuInputLinkHolder*> holders;
    {
        std::lock_guard<std::mutex> lock(holdersLock_);
        holders.swap(holders_);
    }
    for (TAuInputLinkHolder* h : holders)
        h->InputRemoved(this);
}

void TAuInput::AddLinkHolder(TAuInputLinkHolder* holder)
{
    std::lock_guard<std::mutex> lock(holdersLock_);
    holders_.push_back(holder);
}

void TAuInput::RemoveLinkHolder(TAuInputLinkHolder* holder)
{
    std::lock_guard<std::mutex> lock(holdersLock_);
    auto it = std::find(holders_.begin(), holders_.end(), holder);
    if (it != holders_.end())
        holders_.erase(it);
}

uint32_t TAuInput::GetTotalTime()
{
    return 0;
}

int64_t TAuInput::GetTotalSamples()
{
    return 0;
}

void TAuInput::SetKeepFlagBit(bool keep)
{
    KeepFlagBit = keep;
}

void TAuInput::Init()
{
    std::lock_guard<std::recursive_mutex> lock(DataLock);
    EndOfData = false;
    try {
        DoInit();
    } catch (const std::exception& e) {
        EndOfData = true;
        throw EAuException(ExceptionText(e));
    }
}

void TAuInput::Flush()
{
    std::lock_guard<std::recursive_mutex> lock(DataLock);
    DropPrefetched();
    DoFlush();
}

void TAuInput::DropPrefetched()
{
    PrefetchCount = 0;
    PrefetchOffset = 0;
}

bool TAuInput::TakePrefetched(void*& buffer, uint32_t& bytes)
{
    if (PrefetchCount == 0)
        return false;
    bytes = std::min(bytes, PrefetchCount - PrefetchOffset);
    buffer = PrefetchBuffer.data() + PrefetchOffset;
    PrefetchOffset += bytes;
    Position += bytes;
    if (PrefetchOffset >= PrefetchCount)
        DropPrefetched();
    return true;
}

void TAuInput::ReadFromSource(void*& buffer, uint32_t& bytes)
{
    DoGetData(buffer, bytes);
}

void TAuInput::GetData(void*& buffer, uint32_t& bytes)
{
    std::lock_guard<std::recursive_mutex> lock(DataLock);
    if (!TakePrefetched(buffer, bytes))
        ReadFromSource(buffer, bytes);
}

uint32_t TAuInput::CopyData(void* buffer, uint32_t bufferSize)
{
    void* data = nullptr;
    uint32_t bytes = bufferSize;
    GetData(data, bytes);
    bytes = std::min(bytes, bufferSize);
    if (bytes > 0 && data)
        std::memcpy(buffer, data, bytes);
    return data ? bytes : 0;
}

uint32_t TAuInput::FillBuffer(void* buffer, uint32_t bufferSize, bool& endOfInput)
{
    auto* dest = static_cast<uint8_t*>(buffer);
    uint32_t total = 0;
    endOfInput = false;
    while (total < bufferSize) {
        void* data = nullptr;
        uint32_t bytes = bufferSize - total;
        GetData(data, bytes);
        if (bytes == 0 || !data) {
            endOfInput = true;
            break;
        }
        bytes = std::min(bytes, bufferSize - total);
        std::memcpy(dest + total, data, bytes);
        total += bytes;
    }
    return total;
}

void TAuInput::Reset()
{
    try {
        Flush();
    } catch (...) {
        // A component left in a broken run is brought back to idle regardless.
    }
    Busy = false;
}

uint32_t TAuInput::fillPrefetch(uint32_t from, uint32_t wanted)
{
    uint32_t got = 0;
    while (got < wanted) {
        void* data = nullptr;
        uint32_t bytes = wanted - got;
        ReadFromSource(data, bytes);
        if (bytes == 0 || !data)
            break;
        bytes = std::min(bytes, wanted - got);
        std::memcpy(PrefetchBuffer.data() + from + got, data, bytes);
        got += bytes;
    }
    return got;
}

void TAuInput::Prefetch(uint32_t bytes)
{
    std::lock_guard<std::recursive_mutex> lock(DataLock);
    if (PrefetchCount == 0) {
        if (PrefetchBuffer.size() < bytes)
            PrefetchBuffer.resize(bytes);
        PrefetchOffset = 0;
        const uint32_t got = fillPrefetch(0, bytes);
        if (got > 0) {
            PrefetchCount = got;
            Position -= got;  // counted again when handed out
        }
    } else if (PrefetchBuffer.size() > PrefetchCount) {
        const uint32_t rest = PrefetchCount - PrefetchOffset;
        std::memmove(PrefetchBuffer.data(), PrefetchBuffer.data() + PrefetchOffset, rest);
        PrefetchCount = rest;
        PrefetchOffset = 0;
        const uint32_t got =
            fillPrefetch(PrefetchCount, static_cast<uint32_t>(PrefetchBuffer.size()) - PrefetchCount);
        PrefetchCount += got;
        Position -= got;
    }
}

void TAuInput::FillWithSilence()
{
    std::lock_guard<std::recursive_mutex> lock(DataLock);
    std::fill(PrefetchBuffer.begin(), PrefetchBuffer.end(), uint8_t(0));
    PrefetchCount = static_cast<uint32_t>(PrefetchBuffer.size());
    PrefetchOffset = 0;
}

void TAuInput::Pause() {}

void TAuInput::Resume() {}

}  // namespace dw
