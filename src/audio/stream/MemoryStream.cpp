#include "audio/stream/MemoryStream.h"

#include "audio/stream/AuException.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace dw {

int64_t TMemoryStream::Read(void* buffer, int64_t count)
{
    if (count <= 0 || pos_ >= data_.size())
        return 0;
    const int64_t n = std::min<int64_t>(count, data_.size() - pos_);
    std::memcpy(buffer, data_.constData() + pos_, static_cast<size_t>(n));
    pos_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    if (pos_ > std::numeric_limits<qsizetype>::max() - count)
        throw EAuException("Out of memory while expanding memory stream");
    const int64_t end = pos_ + count;
    if (end > data_.size())
        data_.resize(static_cast<qsizetype>(end), '\0');
    std::memcpy(data_.data() + pos_, buffer, static_cast<size_t>(count));
    pos_ = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin)
{
    int64_t base = 0;
    if (origin == TSeekOrigin::soCurrent)
        base = pos_;
    else if (origin == TSeekOrigin::soEnd)
        base = data_.size();
    const int64_t target = base + offset;
    if (target < 0)
        throw EAuException("Invalid argument");
    pos_ = target;
    return pos_;
}

void TMemoryStream::SetSize(int64_t newSize)
{
    if (newSize < 0)
        throw EAuException("Invalid argument");
    data_.resize(static_cast<qsizetype>(newSize), '\0');
    if (pos_ > newSize)
        pos_ = newSize;
}

}  // namespace dw
