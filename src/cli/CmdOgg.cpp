// discwright-cli encode ogg, decode ogg and the Ogg part of info: the Ogg
// Vorbis conversions of the engine run from the command line, with progress
// and Ctrl-C.

#include "app/Settings.h"
#include "audio/formats/AudioFileCheck.h"
#include "audio/formats/VorbisConvert.h"
#include "audio/formats/VorbisIn.h"
#include "cli/CliCommon.h"
#include "platform/NativePath.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>


namespace dw::cli {

int cmdEncodeOgg(const QStringList& argv);
int cmdDecodeOgg(const QStringList& argv);
int cmdInfoOgg(const QStringList& argv);
int cmdDecode(const QStringList& argv);
void printOggInfo(const QString& path, const TOggInfo& info, bool json);

namespace {


// Runs one conversion with a progress bar; the exit status.
int runConversion(const QString& label, bool quiet, const QString& output,
                  const std::function<std::unique_ptr<TOggConversion>(TConversionControl, TConversionDone)>& start)
{
    ProgressBar bar(label, quiet);
    StopSignals stop;
    TConversionControl control;
    control.progress = [&](int percent) { bar.update(percent); };
    control.cancel = stop.token();
    QEventLoop loop;
    TConversionResult r;
    const std::unique_ptr<TOggConversion> conversion = start(control, [&](const TConversionResult& result) {
        r = result;
        loop.quit();
    });
    loop.exec();
    bar.finish();
    if (!r.error.isEmpty())
        return fail(r.error);
    if (r.stopped)
        return fail(QString("stopped; %1 holds what was converted so far").arg(output), kStoppedStatus);
    return 0;
}

const char* const kEncodeUsage =
    "usage: discwright-cli encode ogg IN.wav OUT.ogg [--quality Q | --bitrate N [--min N] [--max N]] "
    "[--tag NAME=VALUE ...] [--overwrite] [--json] [--quiet]";

}  // namespace

int cmdEncodeOgg(const QStringList& argv)
{
    // --tag may repeat: take those out before the common parser sees them.
    QStringList rest;
    QList<QPair<QString, QString>> tags;
    for (int i = 0; i < argv.size(); ++i) {
        QString tag;
        if (argv[i] == "--tag") {
            if (i + 1 >= argv.size())
                return fail("--tag needs NAME=VALUE", 2);
            tag = argv[++i];
        } else if (argv[i].startsWith("--tag=")) {
            tag = argv[i].mid(6);
        } else {
            rest << argv[i];
            continue;
        }
        const int eq = tag.indexOf('=');
        if (eq <= 0)
            return fail(QString("--tag needs NAME=VALUE, not '%1'").arg(tag), 2);
        tags.append({tag.left(eq), tag.mid(eq + 1)});
    }
    Args args;
    QString error;
    if (!parseArgs(rest, {"quality", "bitrate", "min", "max"}, {"overwrite", "json", "quiet"}, args, error))
        return fail(error, 2);
    if (args.positional.size() != 2)
        return fail(kEncodeUsage, 2);

    LoadSettings();
    TOggEncodeRequest request;
    request.input = args.positional[0];
    request.output = args.positional[1];
    request.overwrite = args.has("overwrite");
    request.comments = tags;
    request.settings = OggSettingsFromOptions(AppSettings);
    if (args.has("quality") && (args.has("bitrate") || args.has("min") || args.has("max")))
        return fail("--quality and --bitrate/--min/--max exclude each other", 2);
    if (args.has("quality")) {
        bool ok = false;
        const double q = args.value("quality").toDouble(&ok);
        if (!ok)
            return fail(QString("--quality must be a number from -1 to 10, not '%1'").arg(args.value("quality")), 2);
        if (!OggQualitySettings(q, &request.settings, &error))
            return fail(error, 2);
    } else if (args.has("bitrate") || args.has("min") || args.has("max")) {
        int nominal = 0, minimum = 0, maximum = 0;
        if ((args.has("bitrate") && !parseInt(args.value("bitrate"), nominal)) ||
            (args.has("min") && !parseInt(args.value("min"), minimum)) ||
            (args.has("max") && !parseInt(args.value("max"), maximum)))
            return fail("--bitrate, --min and --max take whole numbers of kbit/s", 2);
        if (!OggBitRateSettings(nominal, minimum, maximum, &request.settings, &error))
            return fail(error, 2);
    }

    const int status = runConversion(QStringLiteral("Encoding"), args.has("quiet") || args.has("json"),
                                     request.output,
                                     [&](TConversionControl c, TConversionDone d) {
                                         return StartWaveToOgg(request, std::move(c), std::move(d));
                                     });
    if (status != 0 || !args.has("json"))
        return status;
    TOggInfo info;
    if (!ReadOggInfo(request.output, &info, &error))
        return fail(error);
    printOggInfo(request.output, info, true);
    return 0;
}

int cmdDecodeOgg(const QStringList& argv)
{
    Args args;
    QString error;
    if (!parseArgs(argv, {}, {"overwrite", "quiet"}, args, error))
        return fail(error, 2);
    if (args.positional.size() != 2)
        return fail("usage: discwright-cli decode ogg IN.ogg OUT.wav [--overwrite] [--quiet]", 2);
    TOggDecodeRequest request;
    request.input = args.positional[0];
    request.output = args.positional[1];
    request.overwrite = args.has("overwrite");
    return runConversion(QStringLiteral("Decoding"), args.has("quiet"), request.output,
                         [&](TConversionControl c, TConversionDone d) {
                             return StartOggToWave(request, std::move(c), std::move(d));
                         });
}

int cmdDecode(const QStringList& argv)
{
    if (!argv.isEmpty() && argv[0].toLower() == "ogg")
        return cmdDecodeOgg(argv.mid(1));
    return fail("usage: discwright-cli decode ogg IN.ogg OUT.wav [--overwrite] [--quiet]", 2);
}

void printOggInfo(const QString& path, const TOggInfo& info, bool json)
{
    const auto rate = [](long bps) { return bps > 0 ? QString("%1 kbit/s").arg(bps / 1000.0, 0, 'f', 1) : QString("not set"); };
    if (json) {
        QJsonObject o;
        o["file"] = path;
        o["encoding"] = QStringLiteral("Ogg Vorbis");
        o["channels"] = info.channels;
        o["sampleRate"] = info.sampleRate;
        o["sampleFrames"] = static_cast<qint64>(info.frames);
        o["duration"] = info.seconds;
        o["nominalBitRate"] = static_cast<qint64>(std::max<long>(info.nominalBitRate, 0));
        o["upperBitRate"] = static_cast<qint64>(std::max<long>(info.upperBitRate, 0));
        o["lowerBitRate"] = static_cast<qint64>(std::max<long>(info.lowerBitRate, 0));
        o["streams"] = info.streams;
        QJsonArray comments;
        for (const QString& c : info.comments)
            comments.append(c);
        o["comments"] = comments;
        printJson(QJsonDocument(o));
        return;
    }
    out(QString("File:             %1").arg(QFileInfo(path).fileName()));
    out(QString("Encoding:         Ogg Vorbis"));
    out(QString("Channels:         %1").arg(info.channels));
    out(QString("Sample rate:      %1 Hz").arg(info.sampleRate));
    out(QString("Sample frames:    %1").arg(info.frames));
    out(QString("Duration:         %1 s").arg(info.seconds, 0, 'f', 3));
    out(QString("Nominal bit rate: %1").arg(rate(info.nominalBitRate)));
    out(QString("Upper bit rate:   %1").arg(rate(info.upperBitRate)));
    out(QString("Lower bit rate:   %1").arg(rate(info.lowerBitRate)));
    if (info.streams > 1)
        out(QString("Logical streams:  %1").arg(info.streams));
    for (const QString& c : info.comments)
        out(QString("Comment:          %1").arg(c));
}

int cmdInfoOgg(const QStringList& argv)
{
    Args args;
    QString error;
    if (!parseArgs(argv, {}, {"json", "quiet"}, args, error))
        return fail(error, 2);
    if (args.positional.size() != 1)
        return fail("usage: discwright-cli info FILE [--json]", 2);
    TOggInfo info;
    if (!ReadOggInfo(args.positional[0], &info, &error))
        return fail(error);
    // The stream is read whole: damage, a gap or a file cut short show here
    // as they would in a conversion (a warning, the values shown all the same).
    TVorbisIn in;
    in.SetFileName(args.positional[0]);
    const QString problem = CheckAudioFileData(in);
    printOggInfo(args.positional[0], info, args.has("json"));
    return problem.isEmpty() ? 0 : fail(QStringLiteral("warning: ") + problem, 1);
}

}  // namespace dw::cli
