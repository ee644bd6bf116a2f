#include "FdIo.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wm8eutil {

namespace {

constexpr int kBufferSize = 64 * 1024;

int readPacket(void* opaque, uint8_t* buf, int size)
{
    const int fd = *static_cast<int*>(opaque);
    for (;;) {
        const ssize_t n = ::read(fd, buf, static_cast<size_t>(size));
        if (n > 0)
            return static_cast<int>(n);
        if (n == 0)
            return AVERROR_EOF;
        if (errno != EINTR)
            return AVERROR(errno);
    }
}

// Seek for both directions; AVSEEK_SIZE asks for the file's size.
int64_t seekFd(int fd, int64_t offset, int whence)
{
    if (whence & AVSEEK_SIZE) {
        struct stat st {};
        return ::fstat(fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : AVERROR(errno);
    }
    const off_t r = ::lseek(fd, static_cast<off_t>(offset), whence & ~AVSEEK_FORCE);
    return r < 0 ? AVERROR(errno) : static_cast<int64_t>(r);
}

int64_t seekInput(void* opaque, int64_t offset, int whence)
{
    return seekFd(*static_cast<int*>(opaque), offset, whence);
}

AVIOContext* makeContext(int writable, void* opaque, int (*rd)(void*, uint8_t*, int),
                         int (*wr)(void*, AvioWriteBuffer, int), int64_t (*sk)(void*, int64_t, int))
{
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    if (!buffer)
        return nullptr;
    AVIOContext* c = avio_alloc_context(buffer, kBufferSize, writable, opaque, rd, wr, sk);
    if (!c)
        av_free(buffer);
    return c;
}

// The part after the last "/" and the folder before it ("." when none).
void splitPath(const std::string& path, std::string& folder, std::string& name)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        folder = ".";
        name = path;
    } else {
        folder = slash == 0 ? "/" : path.substr(0, slash);
        name = path.substr(slash + 1);
    }
}

}  // namespace

std::string PathError(const std::string& path, int error) { return path + ": " + std::strerror(error); }

void AvioDeleter::operator()(AVIOContext* c) const
{
    if (!c)
        return;
    av_freep(&c->buffer);
    avio_context_free(&c);
}

InputFile::~InputFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::string InputFile::Open(const std::string& path)
{
    // Non-blocking, so a FIFO given as input is refused instead of waited on.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return PathError(path, errno);
    struct stat st {};
    std::string problem;
    if (::fstat(fd, &st) != 0)
        problem = PathError(path, errno);
    else if (S_ISDIR(st.st_mode))
        problem = PathError(path, EISDIR);
    else if (!S_ISREG(st.st_mode))
        problem = path + ": not a regular file";
    if (!problem.empty()) {
        ::close(fd);
        return problem;
    }
    fd_ = fd;
    return {};
}

AvioPtr InputFile::MakeAvio() { return AvioPtr(makeContext(0, &fd_, readPacket, nullptr, seekInput)); }

TempOutput::~TempOutput() { Discard(); }

std::string TempOutput::Create(const std::string& finalPath)
{
    Discard();
    final_ = finalPath;
    std::string folder, name;
    splitPath(finalPath, folder, name);
    if (name.empty())
        return PathError(finalPath, EISDIR);
    // Room for the added parts within the usual 255-byte name limit.
    if (name.size() > 200)
        name.resize(200);
    const std::string base = (folder == "/" ? std::string() : folder) + "/." + name + "." + std::to_string(::getpid());
    for (int n = 0; n < 100; ++n) {
        const std::string candidate = base + "." + std::to_string(n) + ".wm8part";
        const int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0) {
            fd_ = fd;
            temp_ = candidate;
            return {};
        }
        if (errno != EEXIST)
            return PathError(finalPath, errno);
    }
    return PathError(finalPath, EEXIST);
}

int TempOutput::writePacket(void* opaque, AvioWriteBuffer buf, int size)
{
    auto* self = static_cast<TempOutput*>(opaque);
    int done = 0;
    while (done < size) {
        const ssize_t n = ::write(self->fd_, buf + done, static_cast<size_t>(size - done));
        if (n > 0) {
            done += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        const int err = n < 0 ? errno : EIO;
        if (!self->writeError_)
            self->writeError_ = err;
        return AVERROR(err);
    }
    return size;
}

int64_t TempOutput::seek(void* opaque, int64_t offset, int whence)
{
    return seekFd(static_cast<TempOutput*>(opaque)->fd_, offset, whence);
}

AvioPtr TempOutput::MakeAvio()
{
    using ReadFn = int (*)(void*, uint8_t*, int);
    return AvioPtr(makeContext(1, this, ReadFn{}, writePacket, seek));
}

std::string TempOutput::Commit()
{
    if (fd_ < 0)
        return PathError(final_, EBADF);
    if (writeError_) {
        const int err = writeError_;
        Discard();
        return PathError(final_, err);
    }
    if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
        const int err = errno;
        Discard();
        return PathError(final_, err);
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) {
        const int err = errno;
        Discard();
        return PathError(final_, err);
    }
    if (::rename(temp_.c_str(), final_.c_str()) != 0) {
        const int err = errno;
        Discard();
        return PathError(final_, err);
    }
    temp_.clear();
    return {};
}

void TempOutput::Discard()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}

}  // namespace wm8eutil
