// Why a drive or CD image cannot be opened. libcdio only says that it could
// not; a user who named an image needs to know what to mend: the file
// itself, the data file a cue sheet names, or a line of the sheet.

#include "platform/CdDrives.h"

#include "platform/CueSheet.h"
#include "platform/NativePath.h"
#include "platform/TocSheet.h"

#include <QByteArray>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace dw {

namespace {

// Cue sheets are small; anything larger is no cue sheet.
constexpr qsizetype MaxCueBytes = 1 << 20;

// Reads a whole small file; false with errno set on failure.
bool readSmallFile(const QString& path, QByteArray& data, int& error)
{
    const int fd = ::open(NativePath(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    data.clear();
    char buffer[65536];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = errno;
            ok = false;
            break;
        }
        if (n == 0)
            break;
        data.append(buffer, n);
        if (data.size() > MaxCueBytes) {
            error = EFBIG;
            ok = false;
            break;
        }
    }
    ::close(fd);
    return ok;
}

QString folderOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QStringLiteral(".") : slash == 0 ? QStringLiteral("/") : path.left(slash);
}

// The first thing wrong with a cue sheet, or empty when nothing is found.
QString cueProblem(const QString& cue)
{
    QByteArray bytes;
    int error = 0;
    if (!readSmallFile(cue, bytes, error))
        return cue + QStringLiteral(": ") + SystemReason(error);
    static const QStringList trackTypes = {
        QStringLiteral("AUDIO"),      QStringLiteral("MODE1/2352"), QStringLiteral("MODE1/2048"),
        QStringLiteral("MODE2/2352"), QStringLiteral("MODE2/2336"), QStringLiteral("MODE2/2048"),
        QStringLiteral("MODE2/2324"),
    };
    static const QStringList otherWords = {
        QStringLiteral("REM"),        QStringLiteral("TITLE"),   QStringLiteral("PERFORMER"),
        QStringLiteral("SONGWRITER"), QStringLiteral("CATALOG"), QStringLiteral("CDTEXTFILE"),
        QStringLiteral("FLAGS"),      QStringLiteral("ISRC"),    QStringLiteral("PREGAP"),
        QStringLiteral("POSTGAP"),
    };
    static const QRegularExpression msf(QStringLiteral(R"(^\d{1,3}:[0-5]\d:[0-7]\d$)"));
    const QStringList lines = PathFromNative(bytes).split(QLatin1Char('\n'));
    int tracks = 0;
    bool haveFile = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty())
            continue;
        const QString where = cue + QStringLiteral(": line %1: ").arg(i + 1);
        const QStringList w = CueWords(line);
        const QString key = w.front().toUpper();
        if (key == QLatin1String("FILE")) {
            if (w.size() < 2)
                return where + QStringLiteral("FILE names no file");
            const QString data = w[1].startsWith(QLatin1Char('/')) ? w[1] : folderOf(cue) + QLatin1Char('/') + w[1];
            const TPathInfo info = StatPath(data);
            if (!info.exists)
                return where + data + QStringLiteral(": ") + SystemReason(info.error);
            if (!info.isFile)
                return where + data + QStringLiteral(": not a regular file");
            haveFile = true;
        } else if (key == QLatin1String("TRACK")) {
            if (w.size() < 3)
                return where + QStringLiteral("cannot read \"%1\"").arg(line);
            bool ok = false;
            const int number = w[1].toInt(&ok);
            if (!ok || number < 1 || number > 99)
                return where + QStringLiteral("track number %1 is not 1 to 99").arg(w[1]);
            if (!trackTypes.contains(w[2].toUpper()))
                return where + QStringLiteral("track type %1 is not supported").arg(w[2]);
            if (!haveFile)
                return where + QStringLiteral("a track before any FILE line");
            ++tracks;
        } else if (key == QLatin1String("INDEX")) {
            if (w.size() < 3 || !msf.match(w[2]).hasMatch())
                return where + QStringLiteral("cannot read \"%1\"").arg(line);
        } else if (!otherWords.contains(key)) {
            return where + QStringLiteral("cannot read \"%1\"").arg(line);
        }
    }
    if (tracks == 0)
        return cue + QStringLiteral(": the cue sheet names no tracks");
    return {};
}

}  // namespace

QString CdDeviceProblem(const QString& path)
{
    if (path.isEmpty())
        return QStringLiteral("no drive or image named");
    const TPathInfo info = StatPath(path);
    if (!info.exists)
        return path + QStringLiteral(": ") + SystemReason(info.error);
    if (OpenCdio(path))
        return {};
    const QString suffix = QFileInfo(path).suffix().toLower();
    QString problem;
    if (suffix == QLatin1String("cue")) {
        // A sheet read by our own reader says first what it found wrong.
        if (!CueSheetFitsLibcdio(path))
            (void)ReadCueSheet(path, &problem);
        if (problem.isEmpty())
            problem = cueProblem(path);
    } else if (suffix == QLatin1String("bin"))
        problem = PathExists(path.left(path.size() - 3) + QStringLiteral("cue"))
                      ? cueProblem(path.left(path.size() - 3) + QStringLiteral("cue"))
                      : path + QStringLiteral(": no cue sheet beside it");
    else if (suffix == QLatin1String("toc"))
        (void)ReadTocSheet(path, &problem);
    else if (suffix != QLatin1String("nrg") && !info.isDir)
        problem = path + QStringLiteral(": not a CD drive or a CD image (.cue/.bin, .toc, .nrg)");
    if (problem.isEmpty()) {
        // A file the sheet check passes, or a .toc/.nrg image: at least say
        // whether it can be read at all.
        QByteArray probe;
        int error = 0;
        if (!info.isDir && !readSmallFile(path, probe, error) && error != EFBIG)
            problem = path + QStringLiteral(": ") + SystemReason(error);
        else
            problem = path + QStringLiteral(": the CD image cannot be read (its layout is not supported)");
    }
    return problem;
}

}  // namespace dw
