#pragma once
// A file stream over a POSIX descriptor, opened with the access and sharing
// modes of the classic file-mode word. Sharing is enforced between streams
// (of this or any cooperating process) with open-file-description locks.
// The name goes to the system byte for byte (NativePath), so names that are
// not valid UTF-8 open too; failures read "<file>: <system reason>".

#include "audio/stream/DescriptorStream.h"

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

class TAuFileStream : public TDescriptorStream {
public:
    // Opens (any mode but fmCreate: the file must exist) or creates the file.
    // Raises EAuException "<file>: <system reason>" when it cannot, or with
    // the sharing-violation text when another open of the file forbids this one.
    // Read-only opens take regular files only (platform/InputFile): a FIFO,
    // a device or a socket is refused at once, naming what it is.
    TAuFileStream(const QString& fileName, uint16_t mode);
    ~TAuFileStream() override;

    const QString& FileName() const { return DisplayName(); }
};

}  // namespace dw
