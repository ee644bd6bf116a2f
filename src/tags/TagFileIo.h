#pragma once
// Whole reads and writes on a file descriptor for the tag readers and
// writers: short transfers are continued and EINTR is retried, so a false
// or short answer always means end of file or a real error (errno set).
//
// Thread-safe (pure functions over the descriptor given).

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace dw::tagio {

// An open file descriptor, closed with the object. Close() reports what
// close(2) said, for writers that must know the data went out.
class TFileHandle {
public:
    explicit TFileHandle(int fd = -1) : fd_(fd) {}
    ~TFileHandle() { Close(); }
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    int Fd() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    // False (errno set) when close failed; true when nothing was open.
    bool Close();

private:
    int fd_;
};

// Reads up to n bytes at the current position; the number read (less than n
// only at end of file or on an error, which leaves errno set), -1 when
// nothing could be read because of an error.
int64_t ReadSome(int fd, void* buf, size_t n);
// Reads up to n bytes at offset without moving the position; as ReadSome.
int64_t ReadSomeAt(int fd, int64_t offset, void* buf, size_t n);
// Writes all n bytes at offset; false (errno set) when any could not be.
bool WriteAllAt(int fd, int64_t offset, const void* buf, size_t n);
// The size of the open file, -1 (errno set) when it cannot be learnt.
int64_t FileSize(int fd);

// Text as single-byte ISO-8859-1, the encoding of ID3v1 fields and of ID3v2
// text frames with encoding byte 0: each character (code point) outside it
// becomes one "?".
QByteArray ToLatin1(const QString& text);
// The first max characters (code points, so a surrogate pair is never split).
QString LeftCodePoints(const QString& text, int max);

}  // namespace dw::tagio
