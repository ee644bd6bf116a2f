#pragma once
// A TStream over an open POSIX descriptor. Every failure is raised as
// EAuException "<name>: <system reason>", where name is the file the user
// knows (the final name of an output written under a temporary name).
//
// The descriptor is closed by the destructor only when the stream owns it.
// Not thread-safe; one user at a time.

#include "audio/stream/Stream.h"

#include <QString>

namespace dw {

class TDescriptorStream : public TStream {
public:
    TDescriptorStream(int fd, QString displayName, bool owned);
    ~TDescriptorStream() override;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t newSize) override;
    int64_t GetSize() override;

    int Handle() const { return fd_; }
    const QString& DisplayName() const { return name_; }

    // Raises EAuException "<name>: <reason of err>".
    [[noreturn]] void RaiseSystem(int err) const;

protected:
    TDescriptorStream() = default;
    void Attach(int fd, QString displayName, bool owned);

private:
    int fd_ = -1;
    bool owned_ = false;
    QString name_;
};

}  // namespace dw
