#pragma once
// A file stream over a POSIX descriptor, opened with the access and sharing
// modes of the classic file-mode word. Sharing is enforced between streams
// (of this or any cooperating process) with open-file-description locks.

#include "audio/stream/Stream.h"

#include <QString>

#include <cstdint>

namespace dw {

// Mode words. The low two bits choose the access, bits 4-7 the sharing.
constexpr uint16_t fmCreate = 0xFFFF;         // create/truncate, read-write, no sharing
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareCompat = 0x0000;    // no sharing
constexpr uint16_t fmShareExclusive = 0x0010; // no sharing
constexpr uint16_t fmShareDenyWrite = 0x0020; // others may read
constexpr uint16_t fmShareDenyRead = 0x0030;  // others may write
constexpr uint16_t fmShareDenyNone = 0x0040;  // others may read and write

class TAuFileStream : public TStream {
public:
    // Opens (any mode but fmCreate: the file must exist) or creates the file.
    // Raises EAuException with the system's text when it cannot, or with the
    // sharing-violation text when another open of the file forbids this one.
    TAuFileStream(const QString& fileName, uint16_t mode);
    ~TAuFileStream() override;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t newSize) override;
    int64_t GetSize() override;

    int Handle() const { return fd_; }
    const QString& FileName() const { return fileName_; }

private:
    int fd_ = -1;
    QString fileName_;
};

}  // namespace dw
