#pragma once
// FFmpeg I/O over file descriptors this tool opened itself, so that a file
// name reaches the system as the exact bytes given on the command line and
// is never read as an FFmpeg protocol ("file:", "pipe:", "http:" ...).
//
//   InputFile in;   in.Open(path)      read-only, never for writing
//   TempOutput out; out.Create(final)  a new hidden file beside final,
//                   out.Commit()       flushed to disk and renamed onto final;
//                   destroyed uncommitted, the file is removed.

extern "C" {
#include <libavformat/avio.h>
#include <libavformat/version.h>
}

#include <memory>
#include <string>

namespace wm8eutil {

// The buffer type of FFmpeg's write callback (const from libavformat 61 on).
#if LIBAVFORMAT_VERSION_MAJOR < 61
using AvioWriteBuffer = uint8_t*;
#else
using AvioWriteBuffer = const uint8_t*;
#endif

// An AVIOContext over one descriptor, freed with its buffer.
struct AvioDeleter {
    void operator()(AVIOContext* c) const;
};
using AvioPtr = std::unique_ptr<AVIOContext, AvioDeleter>;

// A file opened read-only. Open gives an empty text or "<path>: <reason>".
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    std::string Open(const std::string& path);
    int Fd() const { return fd_; }
    // A new reading context over the file (seekable).
    AvioPtr MakeAvio();

private:
    int fd_ = -1;
};

// The output, written under a temporary name in its destination folder.
class TempOutput {
public:
    TempOutput() = default;
    ~TempOutput();
    TempOutput(const TempOutput&) = delete;
    TempOutput& operator=(const TempOutput&) = delete;

    // Creates "<folder>/.<name>.<pid>.<n>.wm8part" (mode 0666 less the umask).
    std::string Create(const std::string& finalPath);
    // A new writing context over the file (seekable). The first write error
    // is kept and reported by Commit.
    AvioPtr MakeAvio();
    // The first write error seen through the context, or 0.
    int WriteError() const { return writeError_; }
    // fsync, close and rename onto the final name; empty text or "<path>: <reason>".
    std::string Commit();
    // Closes and removes the temporary file (nothing once committed).
    void Discard();

private:
    static int writePacket(void* opaque, AvioWriteBuffer buf, int size);
    static int64_t seek(void* opaque, int64_t offset, int whence);

    std::string final_, temp_;
    int fd_ = -1;
    int writeError_ = 0;
};

// "<path>: <strerror(error)>".
std::string PathError(const std::string& path, int error);

}  // namespace wm8eutil
