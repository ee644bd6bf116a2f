#pragma once
// Test helpers: files of made-up "audio" bytes, descriptors on them, and
// ID3v1 trailers assembled byte by byte.

#include "support/TestSupport.h"

#include <QByteArray>
#include <QString>

#include <fcntl.h>
#include <unistd.h>

namespace tagtest {

// Bytes that are not a tag and differ from position to position, laid out
// as MP3 audio: an MPEG-1 layer III frame header (128 kbit/s, 44.1 kHz, 417
// bytes a frame) at the start of every frame, since only MP3 files take an
// ID3v1 trailer.
inline QByteArray audioBytes(int size)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 131 + 7) & 0xFF);
    static const char kHeader[4] = {char(0xFF), char(0xFB), char(0x90), char(0x64)};
    for (int frame = 0; frame < size; frame += 417)
        for (int k = 0; k < 4 && frame + k < size; ++k)
            b[frame + k] = kHeader[k];
    return b;
}

// A 128-byte trailer: "TAG", then fields placed at their offsets.
inline QByteArray trailer(const QByteArray& title, const QByteArray& artist, const QByteArray& album,
                          const QByteArray& year, const QByteArray& comment30, uint8_t genre)
{
    QByteArray t(128, '\0');
    t.replace(0, 3, "TAG");
    t.replace(3, title.size(), title);
    t.replace(33, artist.size(), artist);
    t.replace(63, album.size(), album);
    t.replace(93, year.size(), year);
    t.replace(97, comment30.size(), comment30);
    t[127] = char(genre);
    return t;
}

// An open descriptor, closed with the object.
class Fd {
public:
    Fd(const QString& path, int flags) : fd_(::open(path.toLocal8Bit().constData(), flags | O_CLOEXEC)) {}
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace tagtest
