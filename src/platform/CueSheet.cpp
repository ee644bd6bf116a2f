#include "platform/CueSheet.h"

#include "platform/FdIo.h"
#include "platform/NativePath.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <cerrno>
#include <sys/stat.h>

namespace dw {

namespace {

constexpr int64_t kSector = 2352;
constexpr qsizetype kMaxSheetBytes = 1 << 20;
// Lines that say nothing about where the audio lies.
const QStringList kOtherWords = {QStringLiteral("REM"),     QStringLiteral("TITLE"),      QStringLiteral("PERFORMER"),
                                 QStringLiteral("SONGWRITER"), QStringLiteral("CATALOG"), QStringLiteral("CDTEXTFILE"),
                                 QStringLiteral("FLAGS"),   QStringLiteral("ISRC")};

// The lines of a small sheet; false with *problem set when it cannot be read.
bool sheetLines(const QString& path, QStringList* lines, QString* problem)
{
    const UniqueFd fd = OpenReadOnly(path);
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0) {
        *problem = path + QStringLiteral(": ") + SystemReason(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode) || st.st_size > kMaxSheetBytes) {
        *problem = path + QStringLiteral(": not a cue sheet (a regular file of at most 1 MiB)");
        return false;
    }
    QByteArray bytes(qsizetype(st.st_size), '\0');
    const ssize_t got = ReadFull(fd.get(), bytes.data(), size_t(bytes.size()));
    if (got < 0) {
        *problem = path + QStringLiteral(": ") + SystemReason(errno);
        return false;
    }
    bytes.resize(qsizetype(got));
    *lines = PathFromNative(bytes).split(QLatin1Char('\n'));
    return true;
}

// "mm:ss:ff" in bytes; -1 when it is no such time.
int64_t msfBytes(const QString& text)
{
    static const QRegularExpression msf(QStringLiteral(R"(^(\d{1,3}):([0-5]\d):([0-7]\d)$)"));
    const QRegularExpressionMatch m = msf.match(text);
    if (!m.hasMatch() || m.captured(3).toInt() > 74)
        return -1;
    return ((m.captured(1).toLongLong() * 60 + m.captured(2).toLongLong()) * 75 + m.captured(3).toLongLong()) * kSector;
}

QString dataPathOf(const QString& cuePath, const QString& name)
{
    if (name.startsWith(QLatin1Char('/')))
        return name;
    const qsizetype slash = cuePath.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash < 0 ? QDir::currentPath() : slash == 0 ? QString() : cuePath.left(slash);
    return folder + QLatin1Char('/') + name;
}

struct TMark {
    int file = 0;
    int64_t offset = 0;  // bytes into the file's audio
    bool operator<(const TMark& o) const { return file != o.file ? file < o.file : offset < o.offset; }
};

struct TCueFile {
    QString path;
    int64_t offset = 0, bytes = 0;
};

struct TCueTrack {
    std::optional<TMark> index0, index1;
    int64_t pregapSilence = 0, postgapSilence = 0;
    int line = 0;
};

}  // namespace

// The words of a cue line; a double-quoted word may hold blanks.
QStringList CueWords(const QString& line)
{
    QStringList words;
    static const QRegularExpression word(QStringLiteral(R"re("([^"]*)"|(\S+))re"));
    for (auto it = word.globalMatch(line); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        words << (m.capturedStart(1) >= 0 ? m.captured(1) : m.captured(2));
    }
    return words;
}

bool CueSheetFitsLibcdio(const QString& cuePath)
{
    QStringList lines;
    QString problem;
    if (!sheetLines(cuePath, &lines, &problem))
        return true;  // libcdio says no in its own way
    const QString expected = dataPathOf(cuePath, QFileInfo(cuePath).completeBaseName() + QStringLiteral(".bin"));
    for (const QString& line : lines) {
        const QStringList w = CueWords(line.trimmed());
        if (w.size() >= 2 && w[0].compare(QLatin1String("FILE"), Qt::CaseInsensitive) == 0 &&
            QDir::cleanPath(dataPathOf(cuePath, w[1])) != QDir::cleanPath(expected))
            return false;
    }
    return true;
}

std::optional<TocImage> ReadCueSheet(const QString& cuePath, QString* problem)
{
    problem->clear();
    QStringList lines;
    if (!sheetLines(cuePath, &lines, problem))
        return std::nullopt;
    std::vector<TCueFile> files;
    std::vector<TCueTrack> tracks;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QStringList w = CueWords(lines[i].trimmed());
        if (w.isEmpty())
            continue;
        const auto fail = [&](const QString& why) {
            *problem = cuePath + QStringLiteral(": line %1: ").arg(i + 1) + why;
            return std::nullopt;
        };
        const QString key = w[0].toUpper();
        if (key == QLatin1String("FILE")) {
            if (w.size() < 2)
                return fail(QStringLiteral("FILE names no file"));
            const QString type = w.value(2).toUpper();
            if (type != QLatin1String("BINARY") && type != QLatin1String("WAVE"))
                return fail(QStringLiteral("files of type %1 are not supported").arg(w.value(2)));
            TCueFile f;
            f.path = dataPathOf(cuePath, w[1]);
            if (!AudioRangeOfFile(f.path, &f.offset, &f.bytes, problem))
                return fail(*problem);
            files.push_back(f);
        } else if (key == QLatin1String("TRACK")) {
            if (w.size() < 3)
                return fail(QStringLiteral("cannot read \"%1\"").arg(lines[i].trimmed()));
            if (w[2].toUpper() != QLatin1String("AUDIO"))
                return std::nullopt;  // data tracks are libcdio's
            if (files.empty())
                return fail(QStringLiteral("a track before any FILE line"));
            if (tracks.size() == 99)
                return fail(QStringLiteral("more than 99 tracks"));
            tracks.push_back({});
            tracks.back().line = int(i + 1);
        } else if (key == QLatin1String("INDEX") || key == QLatin1String("PREGAP") || key == QLatin1String("POSTGAP")) {
            const bool index = key == QLatin1String("INDEX");
            const int64_t at = msfBytes(w.value(index ? 2 : 1));
            if (tracks.empty() || at < 0)
                return fail(QStringLiteral("cannot read \"%1\"").arg(lines[i].trimmed()));
            TCueTrack& track = tracks.back();
            if (key == QLatin1String("PREGAP"))
                track.pregapSilence = at;
            else if (key == QLatin1String("POSTGAP"))
                track.postgapSilence = at;
            else if (at > files.back().bytes)
                return fail(QStringLiteral("the index lies past the %1 bytes of audio of %2")
                                .arg(files.back().bytes)
                                .arg(files.back().path));
            else if (w[1].toInt() == 0)
                track.index0 = TMark{int(files.size()) - 1, at};
            else if (w[1].toInt() == 1)
                track.index1 = TMark{int(files.size()) - 1, at};
        } else if (!kOtherWords.contains(key)) {
            return fail(QStringLiteral("cannot read \"%1\"").arg(lines[i].trimmed()));
        }
    }
    if (tracks.empty()) {
        *problem = cuePath + QStringLiteral(": the cue sheet names no tracks");
        return std::nullopt;
    }
    // Each track runs from its start (INDEX 00, else 01; the first track from
    // the start of the first file) to the next track's start.
    std::vector<TMark> starts;
    for (size_t t = 0; t < tracks.size(); ++t) {
        if (!tracks[t].index1) {
            *problem = cuePath + QStringLiteral(": line %1: the track has no INDEX 01").arg(tracks[t].line);
            return std::nullopt;
        }
        starts.push_back(t == 0 ? TMark{} : tracks[t].index0.value_or(*tracks[t].index1));
        if (*tracks[t].index1 < starts.back() || (t > 0 && !(*tracks[t - 1].index1 < starts.back()))) {
            *problem = cuePath + QStringLiteral(": line %1: the track's indexes are out of order").arg(tracks[t].line);
            return std::nullopt;
        }
    }
    const TMark end{int(files.size()) - 1, files.back().bytes};
    const auto between = [&](const TMark& a, const TMark& b, std::vector<TocSegment>& out) {
        int64_t sum = 0;
        for (int f = a.file; f <= b.file; ++f) {
            const int64_t from = f == a.file ? a.offset : 0, to = f == b.file ? b.offset : files[size_t(f)].bytes;
            if (to > from) {
                out.push_back({files[size_t(f)].path, files[size_t(f)].offset + from, to - from});
                sum += to - from;
            }
        }
        return sum;
    };
    TocImage image;
    for (size_t t = 0; t < tracks.size(); ++t) {
        TocTrack track;
        track.pregapBytes = between(starts[t], *tracks[t].index1, track.segments) + tracks[t].pregapSilence;
        if (tracks[t].pregapSilence > 0)
            track.segments.push_back({QString(), 0, tracks[t].pregapSilence});
        const int64_t audio = between(*tracks[t].index1, t + 1 < tracks.size() ? starts[t + 1] : end, track.segments);
        if (audio == 0) {
            *problem = cuePath + QStringLiteral(": line %1: the track has no audio").arg(tracks[t].line);
            return std::nullopt;
        }
        if (tracks[t].postgapSilence > 0)
            track.segments.push_back({QString(), 0, tracks[t].postgapSilence});
        image.tracks.push_back(std::move(track));
    }
    return image;
}

}  // namespace dw
