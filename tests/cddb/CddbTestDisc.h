#pragma once
// The CDDB disc id and query arguments of a CD image, computed here on their
// own from the cue sheet and the size of the .bin (not through libcdio or the
// code under test), for checking the clients against.

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <vector>

namespace dwtest {

struct ExpectedCddbDisc {
    QString discId;
    QString queryArgs;  // "n f1 ... fn seconds"
};

inline ExpectedCddbDisc expectedCddbDisc(const QString& cuePath)
{
    QFile cue(cuePath);
    cue.open(QIODevice::ReadOnly);
    std::vector<long> frames;  // track starts in frames, 150 lead-in frames included
    const QRegularExpression index(R"(INDEX 01 (\d+):(\d+):(\d+))");
    for (const QString& line : QString::fromUtf8(cue.readAll()).split('\n')) {
        const auto m = index.match(line);
        if (m.hasMatch())
            frames.push_back((m.captured(1).toLong() * 60 + m.captured(2).toLong()) * 75 + m.captured(3).toLong() + 150);
    }
    const QString bin = cuePath.left(cuePath.size() - 4) + ".bin";
    const long leadOut = long(QFileInfo(bin).size() / 2352) + 150;

    long checksum = 0;
    for (long f : frames)
        for (long s = f / 75; s > 0; s /= 10)
            checksum += s % 10;
    const long n = long(frames.size());
    const long seconds = leadOut / 75 - frames.front() / 75;
    const unsigned long id = ((unsigned long)(checksum % 255) << 24) | ((unsigned long)seconds << 8) | (unsigned long)n;

    ExpectedCddbDisc e;
    e.discId = QString::asprintf("%08lx", id);
    QStringList args{QString::number(n)};
    for (long f : frames)
        args << QString::number(f);
    args << QString::number((leadOut - frames.front()) / 75);
    e.queryArgs = args.join(' ');
    return e;
}

// A realistic entry as a read command answers it (210, the lines, ".").
inline QString cddbReadAnswer(const QString& category, const QString& id, const QString& lines)
{
    return "210 " + category + " " + id + " CD database entry follows (until terminating `.')\r\n" + lines + ".\r\n";
}

}  // namespace dwtest
