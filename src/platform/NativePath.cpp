#include "platform/NativePath.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dw {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// Length of the valid UTF-8 sequence starting at p (at most n bytes), or 0
// when the bytes there are not one. Overlong forms, surrogates and code
// points above U+10FFFF are not valid.
int validSequence(const unsigned char* p, size_t n)
{
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    int len = 0;
    char32_t cp = 0;
    if ((c & 0xE0) == 0xC0) {
        len = 2;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (size_t(len) > n)
        return 0;
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    static constexpr char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

}  // namespace

QString PathFromNative(const QByteArray& bytes)
{
    QString out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const size_t n = size_t(bytes.size());
    size_t i = 0;
    while (i < n) {
        const int len = validSequence(p + i, n - i);
        if (len == 0) {
            // A byte that is not part of valid UTF-8 travels as a lone
            // surrogate, so it comes back unchanged.
            out += QChar(char16_t(kEscapeBase + p[i]));
            ++i;
        } else {
            out += QString::fromUtf8(reinterpret_cast<const char*>(p + i), len);
            i += size_t(len);
        }
    }
    return out;
}

QString PathFromNative(const char* bytes)
{
    return PathFromNative(QByteArray(bytes ? bytes : ""));
}

QByteArray NativePath(const QString& path)
{
    QByteArray out;
    out.reserve(path.size());
    const char16_t* s = reinterpret_cast<const char16_t*>(path.utf16());
    const qsizetype n = path.size();
    qsizetype runStart = 0;
    auto flushRun = [&](qsizetype end) {
        if (end > runStart)
            out += QStringView(path).mid(runStart, end - runStart).toUtf8();
    };
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i];
        const bool lowSurrogate = c >= 0xDC00 && c <= 0xDFFF;
        const bool paired = lowSurrogate && i > 0 && s[i - 1] >= 0xD800 && s[i - 1] <= 0xDBFF;
        if (lowSurrogate && !paired && c >= 0xDC80 && c <= 0xDCFF) {
            flushRun(i);
            out += char(c - kEscapeBase);
            runStart = i + 1;
        }
    }
    flushRun(n);
    return out;
}

QString SystemReason(int error)
{
    char buffer[256];
    // The GNU strerror_r gives a pointer that may or may not be the buffer.
    const char* text = strerror_r(error, buffer, sizeof buffer);
    return QString::fromLocal8Bit(text);
}

TPathInfo StatPath(const QString& path)
{
    TPathInfo info;
    if (path.isEmpty()) {
        info.error = ENOENT;
        return info;
    }
    struct stat st {};
    if (::stat(NativePath(path).constData(), &st) != 0) {
        info.error = errno;
        return info;
    }
    info.exists = true;
    info.isFile = S_ISREG(st.st_mode);
    info.isDir = S_ISDIR(st.st_mode);
    info.size = int64_t(st.st_size);
    info.device = uint64_t(st.st_dev);
    info.inode = uint64_t(st.st_ino);
    return info;
}

bool SameFile(const QString& a, const QString& b)
{
    const TPathInfo x = StatPath(a);
    const TPathInfo y = StatPath(b);
    return x.exists && y.exists && x.device == y.device && x.inode == y.inode;
}

QString InputAsOutputMessage(const QString& output)
{
    return output + QStringLiteral(": is the input file itself; the input is never overwritten");
}

bool RemoveFile(const QString& path)
{
    const QByteArray native = NativePath(path);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0)
        return errno == ENOENT;
    if (S_ISDIR(st.st_mode))
        return false;
    return ::unlink(native.constData()) == 0 || errno == ENOENT;
}

bool FolderWritable(const QString& folder, QString* reason)
{
    const QString name = folder.isEmpty() ? QStringLiteral(".") : folder;
    const QByteArray native = NativePath(name);
    struct stat st {};
    int err = 0;
    if (::stat(native.constData(), &st) != 0)
        err = errno;
    else if (!S_ISDIR(st.st_mode))
        err = ENOTDIR;
    else if (::access(native.constData(), W_OK | X_OK) != 0)
        err = errno;
    if (err == 0)
        return true;
    if (reason)
        *reason = name + QStringLiteral(": ") + SystemReason(err);
    return false;
}

}  // namespace dw
