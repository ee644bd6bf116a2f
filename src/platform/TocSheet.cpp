#include "platform/TocSheet.h"

#include "platform/FdIo.h"
#include "platform/NativePath.h"
#include "platform/Paths.h"

#include <QDir>
#include <QRegularExpression>

#include <cdio/cdio.h>

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace dw {

namespace {

constexpr int64_t kSector = 2352;
constexpr int64_t kSampleBytes = 4;  // 16-bit stereo
constexpr qsizetype kMaxSheetBytes = 1 << 20;
constexpr int kMaxTracks = 99;
// The longest disc an address of minutes, seconds and frames can hold.
constexpr int64_t kMaxDiscBytes = int64_t(100) * 60 * 75 * kSector;

struct TToken {
    QString text;
    bool quoted = false;
    int line = 0;
};

// The words, quoted strings and braces of a sheet; "//" starts a comment.
std::vector<TToken> tokenize(const QString& text)
{
    std::vector<TToken> tokens;
    int line = 1;
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text[i];
        if (c == QLatin1Char('\n')) {
            ++line;
            ++i;
        } else if (c.isSpace()) {
            ++i;
        } else if (c == QLatin1Char('/') && i + 1 < text.size() && text[i + 1] == QLatin1Char('/')) {
            while (i < text.size() && text[i] != QLatin1Char('\n'))
                ++i;
        } else if (c == QLatin1Char('"')) {
            TToken t{QString(), true, line};
            for (++i; i < text.size() && text[i] != QLatin1Char('"'); ++i) {
                if (text[i] == QLatin1Char('\\') && i + 1 < text.size())
                    ++i;
                if (text[i] == QLatin1Char('\n'))
                    ++line;
                t.text += text[i];
            }
            ++i;
            tokens.push_back(t);
        } else if (c == QLatin1Char('{') || c == QLatin1Char('}')) {
            tokens.push_back({QString(c), false, line});
            ++i;
        } else {
            TToken t{QString(), false, line};
            while (i < text.size() && !text[i].isSpace() && text[i] != QLatin1Char('"') && text[i] != QLatin1Char('{') &&
                   text[i] != QLatin1Char('}'))
                t.text += text[i++];
            tokens.push_back(t);
        }
    }
    return tokens;
}

// A length or position: "m:s:f" (75 frames a second) or a count of samples;
// in bytes, or -1 when the text is neither.
int64_t lengthBytes(const TToken& t)
{
    if (t.quoted)
        return -1;
    static const QRegularExpression msf(QStringLiteral(R"(^(\d{1,3}):(\d{1,2}):(\d{1,2})$)"));
    static const QRegularExpression samples(QStringLiteral(R"(^\d{1,10}$)"));
    if (const QRegularExpressionMatch m = msf.match(t.text); m.hasMatch()) {
        const int64_t minutes = m.captured(1).toLongLong(), seconds = m.captured(2).toLongLong(),
                      frames = m.captured(3).toLongLong();
        if (seconds > 59 || frames > 74)
            return -1;
        return ((minutes * 60 + seconds) * 75 + frames) * kSector;
    }
    if (samples.match(t.text).hasMatch())
        return t.text.toLongLong() * kSampleBytes;
    return -1;
}

QString folderOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QDir::currentPath() : slash == 0 ? QStringLiteral("/") : path.left(slash);
}

// Where the samples of a .wav file begin and how many bytes they take;
// nullopt when the file is no RIFF WAVE file with a data chunk.
struct TWaveData {
    int64_t offset = 0, bytes = 0;
};
std::optional<TWaveData> waveData(int fd, int64_t fileSize)
{
    uint8_t h[12];
    if (::pread(fd, h, sizeof h, 0) != ssize_t(sizeof h) || std::string_view(reinterpret_cast<char*>(h), 4) != "RIFF" ||
        std::string_view(reinterpret_cast<char*>(h + 8), 4) != "WAVE")
        return std::nullopt;
    // The data chunk follows a few others; a file of endless tiny chunks is
    // not walked to its end.
    int chunks = 0;
    for (int64_t pos = 12; pos + 8 <= fileSize && ++chunks <= 1000;) {
        uint8_t c[8];
        if (::pread(fd, c, sizeof c, off_t(pos)) != ssize_t(sizeof c))
            return std::nullopt;
        const int64_t size = int64_t(c[4]) | int64_t(c[5]) << 8 | int64_t(c[6]) << 16 | int64_t(c[7]) << 24;
        if (std::string_view(reinterpret_cast<char*>(c), 4) == "data")
            return TWaveData{pos + 8, std::min(size, fileSize - pos - 8)};
        pos += 8 + size + (size & 1);
    }
    return std::nullopt;
}

}  // namespace

bool AudioRangeOfFile(const QString& path, int64_t* offset, int64_t* bytes, QString* problem)
{
    const UniqueFd data = OpenReadOnly(path);
    struct stat st {};
    if (!data || ::fstat(data.get(), &st) != 0) {
        *problem = path + QStringLiteral(": ") + SystemReason(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *problem = path + QStringLiteral(": not a regular file");
        return false;
    }
    *offset = 0;
    *bytes = st.st_size;
    if (path.endsWith(QLatin1String(".wav"), Qt::CaseInsensitive)) {
        const std::optional<TWaveData> wave = waveData(data.get(), st.st_size);
        if (!wave) {
            *problem = path + QStringLiteral(": no WAVE file with a data chunk");
            return false;
        }
        *offset = wave->offset;
        *bytes = wave->bytes;
    }
    return true;
}

std::optional<TocImage> ReadTocSheet(const QString& sheetPath, QString* problem)
{
    problem->clear();
    QByteArray bytes;
    {
        const UniqueFd fd = OpenReadOnly(sheetPath);
        struct stat st {};
        if (!fd || ::fstat(fd.get(), &st) != 0) {
            *problem = sheetPath + QStringLiteral(": ") + SystemReason(errno);
            return std::nullopt;
        }
        if (!S_ISREG(st.st_mode) || st.st_size > kMaxSheetBytes) {
            *problem = sheetPath + QStringLiteral(": not a table-of-contents sheet (a regular file of at most 1 MiB)");
            return std::nullopt;
        }
        bytes.resize(qsizetype(st.st_size));
        const ssize_t got = ReadFull(fd.get(), bytes.data(), size_t(bytes.size()));
        if (got < 0) {
            *problem = sheetPath + QStringLiteral(": ") + SystemReason(errno);
            return std::nullopt;
        }
        bytes.resize(qsizetype(got));
    }
    const QString folder = folderOf(sheetPath);
    const std::vector<TToken> tokens = tokenize(PathFromNative(bytes));
    TocImage image;
    size_t i = 0;
    const auto fail = [&](int line, const QString& why) -> std::optional<TocImage> {
        *problem = sheetPath + QStringLiteral(": line %1: ").arg(line) + why;
        return std::nullopt;
    };
    const auto next = [&]() -> const TToken* { return i < tokens.size() ? &tokens[i++] : nullptr; };
    const auto peekLength = [&]() -> int64_t { return i < tokens.size() ? lengthBytes(tokens[i]) : -1; };
    int64_t discBytes = 0;
    while (i < tokens.size()) {
        const TToken& t = tokens[i++];
        const QString key = t.quoted ? QString() : t.text;
        TocTrack* track = image.tracks.empty() ? nullptr : &image.tracks.back();
        const auto trackBytes = [&] {
            int64_t sum = 0;
            for (const TocSegment& s : track->segments)
                sum += s.bytes;
            return sum;
        };
        if (key == QLatin1String("CD_DA") || key == QLatin1String("CD_ROM") || key == QLatin1String("CD_ROM_XA") ||
            key == QLatin1String("CD_I") || key == QLatin1String("COPY") || key == QLatin1String("PRE_EMPHASIS") ||
            key == QLatin1String("TWO_CHANNEL_AUDIO") || key == QLatin1String("FOUR_CHANNEL_AUDIO")) {
            continue;
        } else if (key == QLatin1String("CATALOG") || key == QLatin1String("ISRC") || key == QLatin1String("NO") ||
                   key == QLatin1String("INDEX")) {
            if (!next())
                return fail(t.line, key + QStringLiteral(" without its value"));
        } else if (key == QLatin1String("CD_TEXT")) {
            int depth = 0;
            do {
                const TToken* b = next();
                if (!b)
                    return fail(t.line, QStringLiteral("CD_TEXT block without its end"));
                if (!b->quoted && b->text == QLatin1String("{"))
                    ++depth;
                else if (!b->quoted && b->text == QLatin1String("}"))
                    --depth;
            } while (depth > 0);
        } else if (key == QLatin1String("TRACK")) {
            const TToken* mode = next();
            if (!mode || mode->text != QLatin1String("AUDIO"))
                return std::nullopt;  // data tracks are libcdio's
            if (i < tokens.size() && (tokens[i].text == QLatin1String("RW") || tokens[i].text == QLatin1String("RW_RAW")))
                ++i;
            if (int(image.tracks.size()) == kMaxTracks)
                return fail(t.line, QStringLiteral("more than %1 tracks").arg(kMaxTracks));
            image.tracks.emplace_back();
        } else if (!track) {
            return fail(t.line, QStringLiteral("\"%1\" before the first TRACK").arg(t.text));
        } else if (key == QLatin1String("SILENCE") || key == QLatin1String("ZERO") || key == QLatin1String("PREGAP")) {
            // ZERO may name a data mode and a sub-channel mode before its length.
            for (int skipped = 0; key == QLatin1String("ZERO") && skipped < 2 && i < tokens.size() && peekLength() < 0;
                 ++skipped)
                ++i;
            const int64_t length = peekLength();
            if (length < 0)
                return fail(t.line, key + QStringLiteral(" without a length"));
            ++i;
            if (key == QLatin1String("PREGAP")) {
                if (!track->segments.empty())
                    return fail(t.line, QStringLiteral("PREGAP after the track's audio"));
                track->pregapBytes = length;
            }
            track->segments.push_back({QString(), 0, length});
            discBytes += length;
        } else if (key == QLatin1String("FILE") || key == QLatin1String("AUDIOFILE")) {
            const TToken* name = next();
            if (!name || !name->quoted)
                return fail(t.line, key + QStringLiteral(" names no file"));
            const TToken* start = next();
            int64_t offset = -1;
            if (start && start->text.startsWith(QLatin1Char('#')) && !start->quoted) {
                bool ok = false;
                offset = start->text.mid(1).toLongLong(&ok);
                if (!ok || offset < 0)
                    offset = -1;
            } else if (start) {
                offset = lengthBytes(*start);
            }
            if (offset < 0)
                return fail(t.line, key + QStringLiteral(" without a start position"));
            const int64_t length = peekLength();
            if (length >= 0)
                ++i;
            const QString path = name->text.startsWith(QLatin1Char('/')) ? name->text
                                                                          : folder + QLatin1Char('/') + name->text;
            TWaveData audio;
            QString why;
            if (!AudioRangeOfFile(path, &audio.offset, &audio.bytes, &why))
                return fail(t.line, why);
            if (offset > audio.bytes || (length >= 0 && length > audio.bytes - offset))
                return fail(t.line, path + QStringLiteral(": the range %1+%2 bytes lies past its %3 bytes of audio")
                                               .arg(offset)
                                               .arg(length >= 0 ? length : 0)
                                               .arg(audio.bytes));
            const int64_t take = length >= 0 ? length : audio.bytes - offset;
            track->segments.push_back({path, audio.offset + offset, take});
            discBytes += take;
        } else if (key == QLatin1String("START")) {
            const int64_t length = peekLength();
            if (length >= 0)
                ++i;
            track->pregapBytes = length >= 0 ? length : trackBytes();
        } else if (key == QLatin1String("DATAFILE") || key == QLatin1String("FIFO")) {
            return std::nullopt;
        } else {
            return fail(t.line, QStringLiteral("cannot read \"%1\"").arg(t.text));
        }
        if (discBytes > kMaxDiscBytes)
            return fail(t.line, QStringLiteral("the disc is longer than 100 minutes"));
    }
    if (image.tracks.empty())
        return fail(tokens.empty() ? 1 : tokens.back().line, QStringLiteral("the sheet names no tracks"));
    for (size_t n = 0; n < image.tracks.size(); ++n) {
        int64_t sum = 0;
        for (const TocSegment& s : image.tracks[n].segments)
            sum += s.bytes;
        if (image.tracks[n].pregapBytes >= sum) {
            *problem = sheetPath + QStringLiteral(": track %1 has no audio after its start").arg(n + 1);
            return std::nullopt;
        }
    }
    return image;
}

namespace {

int64_t paddedBytes(const TocTrack& track)
{
    int64_t sum = 0;
    for (const TocSegment& s : track.segments)
        sum += s.bytes;
    return (sum + kSector - 1) / kSector * kSector;
}

QByteArray msf(int64_t bytes)
{
    const int64_t frames = bytes / kSector;
    return QStringLiteral("%1:%2:%3")
        .arg(frames / (60 * 75), 2, 10, QLatin1Char('0'))
        .arg(frames / 75 % 60, 2, 10, QLatin1Char('0'))
        .arg(frames % 75, 2, 10, QLatin1Char('0'))
        .toLatin1();
}

}  // namespace

QString DirectDataFile(const TocImage& image)
{
    QString file;
    int64_t position = 0;
    for (const TocTrack& track : image.tracks) {
        int64_t bytes = 0;
        for (const TocSegment& s : track.segments) {
            if (s.path.isEmpty() || (!file.isEmpty() && s.path != file) || s.offset != position + bytes)
                return {};
            file = s.path;
            bytes += s.bytes;
        }
        if (bytes % kSector != 0)
            return {};
        position += bytes;
    }
    return file;
}

QByteArray NormalisedTocSheet(const TocImage& image, const QByteArray& dataPath)
{
    // Each track runs from its index 1 to the next track's index 1: libcdio
    // takes a FILE line's start as the track's position and its length up to
    // the lead-out.
    std::vector<int64_t> starts;
    int64_t position = 0;
    for (const TocTrack& track : image.tracks) {
        starts.push_back(position + track.pregapBytes);
        position += paddedBytes(track);
    }
    starts.push_back(position);
    QByteArray sheet("CD_DA\n");
    for (size_t n = 0; n + 1 < starts.size(); ++n) {
        // An index 1 inside a sector (a pregap counted in samples) starts
        // the track at that sector.
        const int64_t first = starts[n] / kSector * kSector;
        sheet += "TRACK AUDIO\nFILE \"" + dataPath + "\" " + msf(first) + ' ' + msf(starts[n + 1] - first) + '\n';
    }
    return sheet;
}

namespace {

// Assembled images of this process, kept open (and so in existence) while
// it runs: libcdio reads them by their /proc/self/fd name.
std::mutex assembledMutex;
std::map<QByteArray, UniqueFd>& assembledImages()
{
    static std::map<QByteArray, UniqueFd> images;
    return images;
}

// Identifies an image's content: the ranges and each file's identity.
QByteArray imageKey(const TocImage& image)
{
    QByteArray key;
    for (const TocTrack& track : image.tracks) {
        key += "T" + QByteArray::number(qlonglong(paddedBytes(track)));
        for (const TocSegment& s : track.segments) {
            struct stat st {};
            if (!s.path.isEmpty())
                (void)::stat(NativePath(s.path).constData(), &st);
            key += '|' + NativePath(s.path) + '|' + QByteArray::number(qlonglong(s.offset)) + '|' +
                   QByteArray::number(qlonglong(s.bytes)) + '|' + QByteArray::number(qulonglong(st.st_dev)) + ':' +
                   QByteArray::number(qulonglong(st.st_ino)) + ':' + QByteArray::number(qlonglong(st.st_size)) +
                   ':' + QByteArray::number(qlonglong(st.st_mtim.tv_sec)) + '.' +
                   QByteArray::number(qlonglong(st.st_mtim.tv_nsec));
        }
    }
    return key;
}

// Copies bytes from one descriptor to another, in the kernel where it can.
bool copyRange(int from, int64_t fromOffset, int to, int64_t toOffset, int64_t bytes)
{
    while (bytes > 0) {
        loff_t in = fromOffset, out = toOffset;
        ssize_t n = ::copy_file_range(from, &in, to, &out, size_t(std::min<int64_t>(bytes, 1 << 30)), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            char buffer[1 << 16];
            const ssize_t got = ::pread(from, buffer, size_t(std::min<int64_t>(bytes, sizeof buffer)), off_t(fromOffset));
            if (got <= 0 || ::pwrite(to, buffer, size_t(got), off_t(toOffset)) != got)
                return false;
            n = got;
        } else if (n == 0) {
            return false;  // the file shrank
        }
        fromOffset += n;
        toOffset += n;
        bytes -= n;
    }
    return true;
}

// An unnamed file holding image's audio at the disc's positions (silence as
// holes); -1 with *problem set on failure.
int assembledImage(const TocImage& image, QString* problem)
{
    const QByteArray key = imageKey(image);
    std::lock_guard<std::mutex> lock(assembledMutex);
    auto& images = assembledImages();
    if (const auto found = images.find(key); found != images.end())
        return found->second.get();
    // The user's cache folder, else the temporary folder when that one cannot
    // be made or holds no unnamed files.
    QString folder = UserCacheFolder();
    UniqueFd file;
    if (QDir().mkpath(folder))
        file = UniqueFd(::open(NativePath(folder).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (!file) {
        folder = QDir::tempPath();
        file = UniqueFd(::open(NativePath(folder).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    }
    if (!file) {
        *problem = folder + QStringLiteral(": cannot hold the image's audio: ") + SystemReason(errno);
        return -1;
    }
    int64_t total = 0;
    for (const TocTrack& track : image.tracks)
        total += paddedBytes(track);
    if (::ftruncate(file.get(), off_t(total)) != 0) {
        *problem = folder + QStringLiteral(": cannot hold the image's audio: ") + SystemReason(errno);
        return -1;
    }
    int64_t position = 0;
    for (const TocTrack& track : image.tracks) {
        int64_t at = position;
        for (const TocSegment& s : track.segments) {
            if (!s.path.isEmpty()) {
                const UniqueFd source = OpenReadOnly(s.path);
                if (!source || !copyRange(source.get(), s.offset, file.get(), at, s.bytes)) {
                    *problem = s.path + QStringLiteral(": ") + SystemReason(errno ? errno : EIO);
                    return -1;
                }
            }
            at += s.bytes;
        }
        position += paddedBytes(track);
    }
    const int fd = file.get();
    images.emplace(key, std::move(file));
    return fd;
}

// A private folder for the sheet handed to libcdio, removed with its content.
class TPrivateFolder {
public:
    TPrivateFolder()
    {
        QString base = UserCacheFolder();
        if (!QDir().mkpath(base))
            base = QDir::tempPath();
        QByteArray pattern = NativePath(base + QStringLiteral("/dw-toc-XXXXXX"));
        if (::mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~TPrivateFolder()
    {
        if (!path_.isEmpty()) {
            (void)::unlink((path_ + "/image.toc").constData());
            (void)::rmdir(path_.constData());
        }
    }
    TPrivateFolder(const TPrivateFolder&) = delete;
    TPrivateFolder& operator=(const TPrivateFolder&) = delete;
    const QByteArray& path() const { return path_; }

private:
    QByteArray path_;
};

// The sheet as it stands with every relative data file name made absolute
// (relative to the sheet's folder).
QByteArray withAbsoluteNames(const QString& sheetPath)
{
    QByteArray bytes;
    const UniqueFd fd = OpenReadOnly(sheetPath);
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxSheetBytes)
        return {};
    bytes.resize(qsizetype(st.st_size));
    const ssize_t got = ReadFull(fd.get(), bytes.data(), size_t(bytes.size()));
    bytes.resize(got < 0 ? 0 : qsizetype(got));
    QString text = PathFromNative(bytes);
    static const QRegularExpression name(QStringLiteral(R"re(\b((?:AUDIO|DATA)?FILE\s+)"([^"/][^"]*)")re"));
    const QString folder = folderOf(sheetPath) + QLatin1Char('/');
    QString out;
    qsizetype done = 0;
    for (auto it = name.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(text).mid(done, m.capturedStart(2) - done);
        out += folder;
        done = m.capturedStart(2);
    }
    out += QStringView(text).mid(done);
    return NativePath(out);
}

// Hands libcdio a sheet of ours, written to a private folder for the time
// libcdio takes to read it.
CdIo_t* openSheetText(const QByteArray& sheet, QString* problem)
{
    const TPrivateFolder folder;
    if (folder.path().isEmpty()) {
        *problem = QStringLiteral("cannot make a private folder for the sheet: ") + SystemReason(errno);
        return nullptr;
    }
    const QByteArray sheetFile = folder.path() + "/image.toc";
    {
        const UniqueFd out(::open(sheetFile.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
        if (!out || !WriteFull(out.get(), sheet.constData(), size_t(sheet.size()))) {
            *problem = PathFromNative(sheetFile) + QStringLiteral(": ") + SystemReason(errno);
            return nullptr;
        }
    }
    // libcdio reads the sheet and opens the data while it opens the image.
    return cdio_open(sheetFile.constData(), DRIVER_CDRDAO);
}

}  // namespace

CdIo_t* OpenAudioImage(const TocImage& image, QString* problem)
{
    int64_t total = 0;
    for (const TocTrack& track : image.tracks)
        total += paddedBytes(track);
    if (image.tracks.empty() || total > kMaxDiscBytes) {
        *problem = QStringLiteral("the image's disc is longer than 100 minutes");
        return nullptr;
    }
    QByteArray dataPath = NativePath(DirectDataFile(image));
    if (dataPath.isEmpty() || dataPath.contains('"')) {
        const int fd = assembledImage(image, problem);
        if (fd < 0)
            return nullptr;
        dataPath = "/proc/self/fd/" + QByteArray::number(fd);
    }
    return openSheetText(NormalisedTocSheet(image, dataPath), problem);
}

CdIo_t* OpenTocImage(const QString& sheetPath, QString* problem)
{
    const std::optional<TocImage> image = ReadTocSheet(sheetPath, problem);
    if (!image && !problem->isEmpty())
        return nullptr;
    if (image)
        return OpenAudioImage(*image, problem);
    // Not an audio sheet of ours (data tracks): libcdio reads it with its
    // file names made absolute.
    const QByteArray sheet = withAbsoluteNames(sheetPath);
    return sheet.isEmpty() ? nullptr : openSheetText(sheet, problem);
}

}  // namespace dw
