#pragma once
// An advisory lock that serialises read-modify-write updates of a shared file
// (options.ini, cdinfo.dat, registry.ini) between processes: an exclusive
// flock on "<file>.lock" beside it, held for the object's lifetime.
//
//   TFileLock lock(path);   // blocks until the lock is held
//   read the file, change it, write it (through TOutputFile), then let go.
//
// When the lock file cannot be created (a read-only folder), Held() is false
// and the caller goes on without it: there is then nothing to protect a
// write into that folder either.

#include <QString>

namespace dw {

class TFileLock {
public:
    explicit TFileLock(const QString& filePath);
    ~TFileLock();
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;

    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace dw
