#include "audio/stream/Stream.h"

#include "audio/stream/AuException.h"

namespace dw {

int64_t TStream::GetSize()
{
    const int64_t pos = Seek(0, TSeekOrigin::soCurrent);
    const int64_t size = Seek(0, TSeekOrigin::soEnd);
    Seek(pos, TSeekOrigin::soBeginning);
    return size;
}

void TStream::ReadBuffer(void* buffer, int64_t count)
{
    auto* p = static_cast<char*>(buffer);
    while (count > 0) {
        const int64_t n = Read(p, count);
        if (n <= 0)
            throw EAuException("Stream read error");
        p += n;
        count -= n;
    }
}

void TStream::WriteBuffer(const void* buffer, int64_t count)
{
    const auto* p = static_cast<const char*>(buffer);
    while (count > 0) {
        const int64_t n = Write(p, count);
        if (n <= 0)
            throw EAuException("Stream write error");
        p += n;
        count -= n;
    }
}

}  // namespace dw
