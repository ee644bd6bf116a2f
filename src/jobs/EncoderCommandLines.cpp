#include "jobs/EncoderCommandLines.h"

#include "jobs/WmaProfiles.h"
#include "platform/NativePath.h"
#include "platform/Paths.h"

#include <QStandardPaths>

#include <unistd.h>

namespace dw {

namespace {

bool isExecutableFile(const QString& path)
{
    return IsRegularFile(path) && ::access(NativePath(path).constData(), X_OK) == 0;
}

// lame reads an argument that begins with "-" as a switch ("-" alone as
// standard input or output); such a relative path is spelled "./-...".
QString asLameFileArgument(const QString& path)
{
    return path.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + path : path;
}

}  // namespace

QString LameProgram()
{
    const QString local = ProgramFolder() + QStringLiteral("lame");
    if (isExecutableFile(local))
        return local;
    return QStandardPaths::findExecutable(QStringLiteral("lame"));
}

QString LameNotFoundText()
{
    return QStringLiteral("lame was not found in the program folder (%1) or on PATH; install it "
                          "(Debian: apt install lame)")
        .arg(ProgramFolder());
}

QString WmaProgram()
{
    const QString path = ProgramFolder() + QStringLiteral("WM8EUTIL");
    return isExecutableFile(path) ? path : QString();
}

QStringList LameArguments(const TStoredOptions& s, bool encodeMode, const QString& input, const QString& output)
{
    if (!encodeMode)
        return {QStringLiteral("--decode"), asLameFileArgument(input), asLameFileArgument(output)};
    QStringList a{QStringLiteral("-b"), QString::number(s.BitRate)};
    static const char* const modes[] = {"s", "j", "f", "d", "m"};
    if (s.StereoMode >= 0 && s.StereoMode <= 4)
        a << QStringLiteral("-m") << QString::fromLatin1(modes[s.StereoMode]);
    if (s.MpegQuality == 1)
        a << QStringLiteral("-f");
    else if (s.MpegQuality == 2)
        a << QStringLiteral("-h");
    if (s.IsSelectVBR) {
        a << QStringLiteral("-V") << QString::number(s.VBRQuality) << QStringLiteral("-B")
          << QString::number(s.MaxBitRate);
        if (s.IsVBRHead)
            a << QStringLiteral("-t");
    }
    a << asLameFileArgument(input) << asLameFileArgument(output);
    return a;
}

QStringList WmaArguments(TStoredOptions& s, const TDiscInfo& disc, const QString& input, const QString& output)
{
    if (s.WmaBitRate < 0 || s.WmaBitRate >= WmaProfileCount)
        s.WmaBitRate = WmaDefaultProfile;
    QStringList a{QStringLiteral("-input"), input, QStringLiteral("-output"), output, QStringLiteral("-a_setting"),
                  WmaProfileSetting(s.WmaBitRate)};
    if (s.Use) {
        if (!disc.DiscArtist.isEmpty())
            a << QStringLiteral("-author") << disc.DiscArtist;
        if (!disc.DiscComment.isEmpty())
            a << QStringLiteral("-description") << disc.DiscComment;
    }
    return a;
}

}  // namespace dw
