// discwright-cli info and convert-wav: what the WAV conversion window shows
// about a file (and what a FLAC, Opus, Ogg Vorbis or MP3 file holds), and its conversion (built and checked by TWaveConversion)
// run from the command line with a progress bar and Ctrl-C. Without --dither
// the conversion dithers as the stored WaveConvert.Dither option says.

#include "app/Settings.h"
#include "audio/formats/AudioFileCheck.h"
#include "audio/formats/FlacIn.h"
#include "audio/formats/OpusIn.h"
#include "audio/formats/VorbisConvert.h"
#include "audio/formats/WaveConversion.h"
#include "audio/formats/WaveIn.h"
#include "audio/stream/AuException.h"
#include "platform/InputFile.h"
#include "platform/NativePath.h"
#include "cli/CliCommon.h"
#include "cli/Commands.h"
#include "tags/Mp3TagInfo.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>


namespace dw::cli {

namespace {


// Opens a WAV file for reading (never for writing); on failure returns the error line.
QString openWave(TWaveIn& in, const QString& path)
{
    if (const QString problem = CheckInputFile(path); !problem.isEmpty())
        return problem;
    in.SetFileName(path);
    if (!in.IsValid())
        return QString("%1: not a valid WAV file (or an encoding that cannot be read)").arg(path);
    return {};
}

// What info ends with for a file whose data does not read whole: the
// reader's message as a warning and a non-zero status (the header's values
// were shown all the same).
int damagedFileStatus(const QString& problem)
{
    return problem.isEmpty() ? 0 : fail(QStringLiteral("warning: ") + problem, 1);
}

const char* const kConvertUsage =
    "usage: discwright-cli convert-wav IN OUT [--channels 1|2] [--rate 1000-384000] [--bits 8|16|24|32] "
    "[--encoding pcm|ima-adpcm] [--dither auto|on|off] [--overwrite] [--quiet]";

// The tags of an MP3 file: the ID3v2 and ID3v1 values, then every ID3v2
// text frame. A damaged ID3v2 tag is a warning: what else the file holds is
// still shown.
int printMp3Info(const QString& path, bool json)
{
    TMp3TagInfo info;
    QString error;
    if (!ReadMp3TagInfo(path, &info, &error))
        return fail(error);
    const TId3v2FrameList& frames = info.id3v2Frames;
    if (!frames.problem.isEmpty())
        fail(QStringLiteral("warning: ") + frames.problem, 0);
    if (json) {
        // One value as a string, several (an ID3v2.4 list, or repeated frames) as an array.
        const QJsonObject frameObject = FramesAsJson(frames);
        const auto fields = [](const QList<QPair<QString, QString>>& list) {
            QJsonObject o;
            for (const auto& [name, value] : list)
                o.insert(name, value);
            return o;
        };
        QJsonObject o;
        o["file"] = path;
        o["encoding"] = QStringLiteral("MPEG audio");
        o["id3v1"] = info.hasId3v1 ? QJsonValue(fields(info.id3v1)) : QJsonValue();
        o["id3v2"] = info.hasId3v2 ? QJsonValue(fields(info.id3v2)) : QJsonValue();
        o["id3v2Version"] = frames.present ? QJsonValue(frames.version) : QJsonValue();
        o["id3v2Frames"] = frames.present ? QJsonValue(frameObject) : QJsonValue();
        if (!frames.problem.isEmpty())
            o["id3v2Problem"] = frames.problem;
        printJson(QJsonDocument(o));
        return 0;
    }
    out(QString("File:            %1").arg(QFileInfo(path).fileName()));
    out(QStringLiteral("Encoding:        MPEG audio"));
    const auto print = [](const char* heading, bool present, const QList<QPair<QString, QString>>& list) {
        out(QString("%1 %2").arg(QLatin1String(heading), present ? QString() : QStringLiteral("none")).trimmed());
        for (const auto& [name, value] : list)
            out(QString("  %1 %2").arg(name + ':', -16).arg(value));
    };
    // The heading names the tag's version when it is known.
    const QByteArray v2Heading =
        frames.present ? QStringLiteral("ID3v%1 tag:").arg(frames.version.section('.', 0, 1)).toLatin1()
                       : QByteArray(info.id3v2Is23 ? "ID3v2.3 tag:" : "ID3v2 tag:");
    print(v2Heading.constData(), info.hasId3v2, info.id3v2);
    print("ID3v1 tag:", info.hasId3v1, info.id3v1);
    if (frames.present) {
        out(QStringLiteral("ID3v2 frames (version %1):").arg(frames.version));
        for (const auto& [key, values] : frames.frames)
            for (const QString& value : values)
                out(QString("  %1 %2").arg(key + ':', -28).arg(value));
    }
    if (!frames.problem.isEmpty())
        out(QStringLiteral("ID3v2 problem:   ") + frames.problem);
    return 0;
}

// The stream information and comments of a FLAC or Opus file; for Opus also
// the rate the encoder was given and the average bit rate.
int printFlacOpusInfo(const QString& path, TAudioFileKind kind, bool json)
{
    std::unique_ptr<TAuFileIn> in = MakeAudioFileIn(kind);
    in->SetFileName(path);
    QString reason;
    try {
        in->GetChannels();  // opens the file; a decoder's refusal says why
    } catch (const EAuException& e) {
        reason = e.Message();
    }
    if (!in->IsValid())
        return fail(reason.isEmpty() ? QString("%1: not a valid %2 file").arg(path, QLatin1String(AudioFileKindName(kind)))
                                     : reason);
    auto* flac = kind == TAudioFileKind::Flac ? static_cast<TFlacIn*>(in.get()) : nullptr;
    auto* opus = kind == TAudioFileKind::Opus ? static_cast<TOpusIn*>(in.get()) : nullptr;
    const QString encoding = QLatin1String(AudioFileKindName(kind));
    const uint32_t channels = in->GetChannels();
    const uint32_t rate = in->GetSampleRate();
    const uint32_t bits = flac ? flac->FileBitsPerSample() : in->GetBitsPerSample();
    const int64_t frames = std::max<int64_t>(in->GetTotalSamples(), 0);
    const double seconds = rate ? static_cast<double>(frames) / rate : 0.0;
    const QStringList comments = flac ? flac->RawComments() : opus->RawComments();
    // The stream is read whole: damage and a length the data falls short of
    // show here as they would in a conversion.
    const QString problem = CheckAudioFileData(*in);

    if (json) {
        QJsonObject o;
        o["file"] = path;
        o["encoding"] = encoding;
        o["channels"] = static_cast<int>(channels);
        o["sampleRate"] = static_cast<qint64>(rate);
        o["bitsPerSample"] = static_cast<int>(bits);
        o["sampleFrames"] = static_cast<qint64>(frames);
        o["duration"] = seconds;
        if (opus) {
            o["inputSampleRate"] = static_cast<qint64>(opus->InputSampleRate());
            o["bitRate"] = static_cast<qint64>(opus->AverageBitRate());
        }
        o["comments"] = QJsonArray::fromStringList(comments);
        printJson(QJsonDocument(o));
        return damagedFileStatus(problem);
    }
    out(QString("File:            %1").arg(QFileInfo(path).fileName()));
    out(QString("Encoding:        %1").arg(encoding));
    out(QString("Channels:        %1").arg(channels));
    out(QString("Sample rate:     %1 Hz").arg(rate));
    if (opus) {
        out(QString("Input rate:      %1 Hz").arg(opus->InputSampleRate()));
        out(QString("Bit rate:        %1 bit/s").arg(opus->AverageBitRate()));
    }
    out(QString("Bits per sample: %1").arg(bits));
    out(QString("Sample frames:   %1").arg(frames));
    out(QString("Duration:        %1 s").arg(seconds, 0, 'f', 3));
    out(QStringLiteral("Comments:"));
    for (const QString& c : comments)
        out(QStringLiteral("  ") + c);
    return damagedFileStatus(problem);
}

}  // namespace

int cmdInfo(const QStringList& argv)
{
    Args args;
    QString error;
    if (!parseArgs(argv, {}, {"json", "quiet"}, args, error))
        return fail(error, 2);
    if (args.positional.size() != 1)
        return fail("usage: discwright-cli info FILE [--json]", 2);
    const QString path = args.positional[0];
    // Telling the format apart reads the file: a FIFO or a device is refused first.
    if (const QString problem = CheckInputFile(path); !problem.isEmpty())
        return fail(problem);
    const TAudioFileKind kind = AudioFileKindOf(path);
    if (kind == TAudioFileKind::Flac || kind == TAudioFileKind::Opus)
        return printFlacOpusInfo(path, kind, args.has("json"));
    if (kind == TAudioFileKind::OggVorbis)
        return cmdInfoOgg(argv);
    if (LooksLikeMp3(path))
        return printMp3Info(path, args.has("json"));
    TWaveIn in;
    error = openWave(in, path);
    if (!error.isEmpty())
        return fail(error);

    const QString encoding = QString::fromLatin1(WavTypeName(in.GetWavType()));
    const uint32_t channels = in.GetChannels();
    const uint32_t rate = in.GetSampleRate();
    const uint32_t bits = in.GetBitsPerSample();
    const int64_t frames = std::max<int64_t>(in.GetTotalSamples(), 0);
    const double seconds = rate ? static_cast<double>(frames) / rate : 0.0;
    const QString problem = CheckAudioFileData(in);

    if (args.has("json")) {
        QJsonObject o;
        o["file"] = path;
        o["encoding"] = encoding;
        o["channels"] = static_cast<int>(channels);
        o["sampleRate"] = static_cast<qint64>(rate);
        o["bitsPerSample"] = static_cast<int>(bits);
        o["sampleFrames"] = static_cast<qint64>(frames);
        o["duration"] = seconds;
        printJson(QJsonDocument(o));
        return damagedFileStatus(problem);
    }
    out(QString("File:            %1").arg(QFileInfo(path).fileName()));
    out(QString("Encoding:        %1").arg(encoding));
    out(QString("Channels:        %1").arg(channels));
    out(QString("Sample rate:     %1 Hz").arg(rate));
    out(QString("Bits per sample: %1").arg(bits));
    out(QString("Sample frames:   %1").arg(frames));
    out(QString("Duration:        %1 s").arg(seconds, 0, 'f', 3));
    return damagedFileStatus(problem);
}

int cmdConvertWav(const QStringList& argv)
{
    Args args;
    QString error;
    if (!parseArgs(argv, {"channels", "rate", "bits", "encoding", "dither"}, {"overwrite", "quiet"}, args, error))
        return fail(error, 2);
    if (args.positional.size() != 2)
        return fail(kConvertUsage, 2);

    TWaveConversionSettings settings;
    settings.inPath = args.positional[0];
    settings.outPath = args.positional[1];
    int channels = 0, rate = 0, bits = 0;
    if (args.has("channels") && (!parseInt(args.value("channels"), channels) || channels < 1 || channels > 2))
        return fail("--channels must be 1 or 2", 2);
    if (args.has("rate") && (!parseInt(args.value("rate"), rate) || rate < int(settings.kMinRate) ||
                             rate > int(settings.kMaxRate)))
        return fail(QString("--rate must be a whole number of Hz from %1 to %2")
                        .arg(settings.kMinRate)
                        .arg(settings.kMaxRate),
                    2);
    if (args.has("bits") &&
        (!parseInt(args.value("bits"), bits) || (bits != 8 && bits != 16 && bits != 24 && bits != 32)))
        return fail("--bits must be 8, 16, 24 or 32", 2);
    const QString encoding = args.value("encoding", "pcm");
    if (encoding != "pcm" && encoding != "ima-adpcm")
        return fail("--encoding must be pcm or ima-adpcm", 2);
    // auto: only narrowing to 8 bits is dithered; on: every narrowing; off: none.
    if (args.has("dither")) {
        const QString dither = args.value("dither");
        if (dither != "auto" && dither != "on" && dither != "off")
            return fail("--dither must be auto, on or off", 2);
        settings.dither = dither == "on"    ? TDitherMode::WhenNarrowing
                          : dither == "off" ? TDitherMode::Never
                                            : TDitherMode::EightBitOnly;
    } else {
        LoadSettings();
        settings.dither = DitherModeOf(AppSettings.WaveDither);
    }
    settings.channels = static_cast<uint32_t>(channels);
    settings.sampleRate = static_cast<uint32_t>(rate);
    settings.bits = static_cast<uint32_t>(bits);
    settings.encoding = encoding == "ima-adpcm" ? wtDVIADPCM : wtPCM;
    settings.overwrite = args.has("overwrite");

    TWaveConversion conversion(settings);
    error = conversion.Prepare();
    if (!error.isEmpty())
        return fail(error);
    TWaveOut& waveOut = conversion.Output();
    const QString outPath = settings.outPath;

    ProgressBar bar(QStringLiteral("Converting"), args.has("quiet"));
    QEventLoop loop;
    bool done = false;
    bool stopAsked = false;
    waveOut.OnProgress = [&](TAuOutput* o) { bar.update(o->Progress()); };
    waveOut.OnDone = [&](TAuOutput*) {
        done = true;
        loop.quit();
    };
    StopSignals stop;
    // A signal stops the writer as the window's Stop button does; its end
    // (OnDone) then ends the wait with what was converted so far in place.
    const TCancelCallback onStop(stop.token(), [&] {
        if (!stopAsked && !done) {
            stopAsked = true;
            waveOut.Stop(true);
        }
    });
    try {
        waveOut.Run();
    } catch (const EAuException& e) {
        return fail(e.Message());
    }
    if (!done)
        loop.exec();

    const QString message = waveOut.GetExceptionMessage();
    if (!message.isEmpty()) {
        bar.finish();
        return fail(message);
    }
    if (stopAsked) {
        bar.finish();
        return fail(QString("stopped; %1 holds what was converted so far").arg(outPath), kStoppedStatus);
    }
    bar.update(100);
    bar.finish();
    return 0;
}

}  // namespace dw::cli
