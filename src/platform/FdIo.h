#pragma once
// Owned file descriptors and whole reads and writes on them: short transfers
// are continued and EINTR is retried, so a short or false answer always
// means end of file or a real error (errno set).
//
// Thread-safe (functions over the descriptor given; one owner per UniqueFd).

#include <QString>

#include <cstddef>
#include <sys/types.h>

namespace dw {

// An owned file descriptor, closed with the object.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& o) noexcept : fd_(o.release()) {}
    UniqueFd& operator=(UniqueFd&& o) noexcept
    {
        if (this != &o)
            reset(o.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

// Opens path read-only (close-on-exec, by its native name).
UniqueFd OpenReadOnly(const QString& path);

// Reads up to size bytes at the current position, continuing short reads
// until end of file; the number read, or -1 (errno set) on an error.
ssize_t ReadFull(int fd, void* data, size_t size);
// Writes all size bytes at the current position; false (errno set) on failure.
bool WriteFull(int fd, const void* data, size_t size);

}  // namespace dw
