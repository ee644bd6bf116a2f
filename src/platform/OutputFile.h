#pragma once
// An output file written under a temporary name in its destination folder
// and renamed into place only when complete, so an existing file is replaced
// by a whole result or not at all, and a symbolic link at the destination is
// replaced rather than written through.
//
//   TOutputFile out(path);
//   if (!out.Create()) fail(out.Error());
//   ... write through out.Fd() (or let a child process write out.TempPath()) ...
//   if (!out.Commit()) fail(out.Error());
//
// Destroying an uncommitted object removes the temporary file. Not
// thread-safe; one owner.

#include <QString>

namespace dw {

class TOutputFile {
public:
    explicit TOutputFile(QString finalPath);
    ~TOutputFile();
    TOutputFile(const TOutputFile&) = delete;
    TOutputFile& operator=(const TOutputFile&) = delete;

    // Creates the temporary file (mode 0666 less the umask, exclusive, a
    // hidden name "<folder>/.<name>.<random>.part") and opens it read-write.
    // False with Error() set ("<final path>: <system reason>") when the
    // folder is missing or not writable or the name is too long.
    bool Create();

    int Fd() const { return fd_; }
    const QString& TempPath() const { return tempPath_; }
    const QString& FinalPath() const { return finalPath_; }
    bool IsOpen() const { return fd_ >= 0; }

    // Closes the descriptor (a child process may then write the temporary
    // file by name). Close errors are kept and make Commit fail.
    bool Close();

    // Flushes to disk, closes, and renames the temporary file to the final
    // name. With replace false an existing final file is kept and Commit
    // fails with EEXIST (atomically: two processes racing for one name never
    // both win). False with Error() set; the temporary file is then removed.
    bool Commit(bool replace = true);

    // Removes the temporary file (nothing when committed or never created).
    void Discard();

    bool Committed() const { return committed_; }
    // "<final path>: <system reason>" of the last failure.
    const QString& Error() const { return error_; }
    int ErrorCode() const { return errno_; }

private:
    void setError(int err);

    QString finalPath_;
    QString tempPath_;
    int fd_ = -1;
    bool committed_ = false;
    bool closeFailed_ = false;
    QString error_;
    int errno_ = 0;
};

}  // namespace dw
