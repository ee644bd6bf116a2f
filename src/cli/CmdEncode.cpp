// discwright-cli encode: runs one file through an encoder process: WAV to MP3
// or MP3 to WAV with lame, WAV to WMA with WM8EUTIL, with the settings of
// options.ini. The same wrappers the job windows use, one item; the checks
// of the item (input kind, output not the input, folder writable) and the
// whole-or-nothing output are theirs. Ctrl-C or SIGTERM stops the encoder.

#include <QEventLoop>
#include <QFileInfo>
#include <QJsonObject>

#include <memory>

#include "app/Settings.h"
#include "cli/CliCommon.h"
#include "cli/Commands.h"
#include "jobs/ChildProcess.h"
#include "jobs/EncoderCommandLines.h"
#include "app/JobEvents.h"
#include "jobs/Mp3EncodeProcess.h"
#include "jobs/WMAEncodeProcess.h"
#include "platform/Dialogs.h"
#include "platform/NativePath.h"

namespace dw::cli {

namespace {

const char kUsage[] = "usage: discwright-cli encode mp3|wav|wma|ogg INPUT OUTPUT [--overwrite] [--quiet] [--json]";

// Shows progress and ends the wait at the completion.
class EncodeWaiter : public JobEventReceiver {
public:
    EncodeWaiter(ProgressBar& bar, QEventLoop& loop) : bar_(bar), loop_(loop) {}
    void jobEvent(std::unique_ptr<TProcessInfo> info) override
    {
        if (IsJobEventCode(info->Code)) {
            done = std::move(info);
            loop_.quit();
        } else {
            bar_.update(info->Code, info->Elapsed.isEmpty() ? QString() : info->Elapsed + " / " + info->Estimated);
        }
    }
    std::unique_ptr<TProcessInfo> done;

private:
    ProgressBar& bar_;
    QEventLoop& loop_;
};

QString resultText(const TProcessInfo& info, const QString& output)
{
    switch (info.Result) {
    case ENC_RESULT_SKIPPED:
        return info.Code == JOB_WMA_DONE && WmaProgram().isEmpty()
                   ? QStringLiteral("the WMA encoder WM8EUTIL was not found in the program folder")
                   : output + QStringLiteral(" exists (use --overwrite to replace it)");
    case ENC_RESULT_IN_USE: return output + QStringLiteral(": the file is in use");
    case ENC_RESULT_ENDED: return {};
    default: return info.Elapsed.isEmpty() ? output + QStringLiteral(": the encoder failed") : info.Elapsed;
    }
}

// Reports the outcome: the error line on stderr and, with --json, the result
// object on stdout (for failures too). Gives the exit status.
class Reporter {
public:
    explicit Reporter(bool json) : json_(json) {}
    int failure(const QString& message, int status, const QString& output = {}, int result = -1) const
    {
        if (json_)
            print(output, result, message);
        return fail(message, status);
    }
    int success(const QString& output, int result) const
    {
        if (json_)
            print(output, result, {});
        return 0;
    }

private:
    void print(const QString& output, int result, const QString& error) const
    {
        QJsonObject o;
        if (!output.isEmpty())
            o.insert("output", output);
        if (result >= 0)
            o.insert("result", result);
        o.insert("ok", error.isEmpty());
        if (!error.isEmpty())
            o.insert("error", error);
        printJson(QJsonDocument(o));
    }
    bool json_;
};

}  // namespace

int cmdEncode(const QStringList& argv)
{
    // Ogg Vorbis is encoded in-process by the stream chain, not by a child.
    if (!argv.isEmpty() && argv[0].toLower() == QLatin1String("ogg"))
        return cmdEncodeOgg(argv.mid(1));
    // Known before the arguments are parsed, so that even a bad command line
    // is answered with a JSON object.
    const Reporter report(argv.contains(QStringLiteral("--json")));
    Args args;
    QString error;
    if (!parseArgs(argv, {}, {"overwrite", "quiet", "json"}, args, error))
        return report.failure(error, 2);
    if (args.positional.size() != 3)
        return report.failure(kUsage, 2);
    const QString format = args.positional[0].toLower();
    const QString input = QFileInfo(args.positional[1]).absoluteFilePath();
    const QString output = QFileInfo(args.positional[2]).absoluteFilePath();
    if (format != "mp3" && format != "wav" && format != "wma")
        return report.failure(kUsage, 2);
    if (format != "wma" && LameProgram().isEmpty())
        return report.failure(LameNotFoundText(), 1, output);

    LoadSettings();
    // Boxes an encoder still opens (the WMA tool's absence) are answered here, not shown.
    NonInteractiveDialogs dialogs(args.has("overwrite") ? NonInteractiveDialogs::Policy::AlwaysYes
                                                        : NonInteractiveDialogs::Policy::AlwaysNo,
                                  [](const QString&) {});
    ScopedDialogs scoped(dialogs);

    // The encoders take the stored MP3 and WMA options (and the tag switch)
    // as loaded, as the window's conversions do.
    std::unique_ptr<TEncodeProcess> process;
    if (format == "wma") {
        auto wma = std::make_unique<TWMAEncodeProcess>();
        wma->SetOptions(AppSettings, AppSettings);
        process = std::move(wma);
    } else {
        auto lame = std::make_unique<TMp3EncodeProcess>();
        lame->SetOptions(AppSettings);
        process = std::move(lame);
    }

    ProgressBar bar(format == "wav" ? QStringLiteral("Decoding") : QStringLiteral("Encoding"), args.has("quiet"));
    QEventLoop loop;
    EncodeWaiter waiter(bar, loop);
    StopSignals stop;

    process->Running = true;
    process->InputFile = input;
    process->OutputFile = output;
    process->EncodeMode = format != "wav";
    process->JobKind = format == "wma" ? jkWavToWma : (format == "wav" ? jkMp3ToWav : jkWavToMp3);
    process->NotifyWindow = &waiter;
    // An existing output is replaced only with --overwrite; without it it stays.
    process->SetOverwrite(args.has("overwrite"));
    try {
        process->Start();
    } catch (const EProcessError& e) {
        if (!e.program().isEmpty() && e.systemError() != 0)
            return report.failure(e.program() + QStringLiteral(": cannot start it: ") + SystemReason(e.systemError()), 1,
                                  output);
        return report.failure(QString::fromUtf8(e.what()), 1, output);
    }
    // A signal ends the encoder as the window's Stop button does (no
    // completion follows, the temporary output goes) and the wait with it.
    const TCancelCallback onStop(stop.token(), [&] {
        process->Kill(0);
        loop.quit();
    });
    if (!waiter.done && !StopSignals::requested())
        loop.exec();
    bar.finish();
    // A stop wins over a completion that came with it (the child died of the
    // same Ctrl-C that stopped us), but not over one that has put the output
    // in place: that file is whole and is reported as written.
    const bool placed = waiter.done && waiter.done->Result == ENC_RESULT_ENDED;
    if (StopSignals::requested() && !placed) {
        process->Kill(0);
        return report.failure(QStringLiteral("stopped; nothing was written to ") + output, kStoppedStatus, output);
    }
    const TProcessInfo& done = *waiter.done;
    const QString problem = resultText(done, output);
    if (!problem.isEmpty())
        return report.failure(problem, 1, output, done.Result);
    return report.success(output, done.Result);
}

}  // namespace dw::cli
