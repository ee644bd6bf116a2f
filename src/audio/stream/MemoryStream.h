#pragma once
// A stream held in memory; grows on writes.

#include "audio/stream/Stream.h"

#include <QByteArray>

namespace dw {

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(const QByteArray& initial) : data_(initial) {}

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t newSize) override;
    int64_t GetSize() override { return data_.size(); }

    const QByteArray& Data() const { return data_; }

private:
    QByteArray data_;
    int64_t pos_ = 0;
};

}  // namespace dw
