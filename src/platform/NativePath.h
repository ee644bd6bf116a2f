#pragma once
// File names as the system stores them: byte strings that need not be valid
// UTF-8. A QString holds such a name losslessly: bytes that are not part of a
// valid UTF-8 sequence are carried as the lone surrogates U+DC80..U+DCFF
// (the "surrogate escape" convention), and turned back into the same bytes
// when the name goes to the system. Every open, stat, rename and unlink of a
// user-supplied path goes through NativePath; every name read from the system
// (argv, directory entries) goes through PathFromNative.
//
// Thread-safe (pure functions).

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace dw {

// The bytes to hand to the system for path.
QByteArray NativePath(const QString& path);
// The path for the bytes the system gave; NativePath(PathFromNative(b)) == b.
QString PathFromNative(const QByteArray& bytes);
QString PathFromNative(const char* bytes);

// The system's text for an errno value ("No space left on device").
QString SystemReason(int error);

// What stat (following symbolic links) tells of a path. exists is false when
// the path cannot be looked up; error then holds the errno.
struct TPathInfo {
    bool exists = false;
    bool isFile = false;  // a regular file
    bool isDir = false;
    int64_t size = 0;
    uint64_t device = 0;
    uint64_t inode = 0;
    int error = 0;
};
TPathInfo StatPath(const QString& path);

inline bool PathExists(const QString& path) { return StatPath(path).exists; }
inline bool IsDirectory(const QString& path) { return StatPath(path).isDir; }
inline bool IsRegularFile(const QString& path) { return StatPath(path).isFile; }

// True when both paths name the same existing file: the same device and inode
// after following symbolic links, so "a.wav", "./a.wav", a symbolic link and a
// hard link to it all count as the same. False when either does not exist.
bool SameFile(const QString& a, const QString& b);

// The refusal of an output that is the input file (see SameFile):
// "<output>: is the input file itself; the input is never overwritten".
QString InputAsOutputMessage(const QString& output);

// Removes a file (not a folder); true when it is gone afterwards.
bool RemoveFile(const QString& path);

// Whether a folder exists and this process may create files in it. On false,
// reason holds "<folder>: <system reason>".
bool FolderWritable(const QString& folder, QString* reason = nullptr);

}  // namespace dw
