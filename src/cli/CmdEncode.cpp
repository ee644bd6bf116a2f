// discwright-cli encode: runs one file through an encoder process: WAV to MP3
// or MP3 to WAV with lame, WAV to WMA with WM8EUTIL, with the settings of
// options.ini. The same wrappers the job windows use, one item.

#include <QEventLoop>
#include <QFileInfo>
#include <QJsonObject>

#include <memory>

#include "app/Settings.h"
#include "cli/CliCommon.h"
#include "cli/Commands.h"
#include "jobs/ChildProcess.h"
#include "jobs/EncoderCommandLines.h"
#include "jobs/JobEvents.h"
#include "jobs/Mp3EncodeProcess.h"
#include "jobs/WMAEncodeProcess.h"
#include "platform/Dialogs.h"

namespace dw::cli {

namespace {

const char kUsage[] = "usage: discwright-cli encode mp3|wav|wma INPUT OUTPUT [--overwrite] [--quiet] [--json]";

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
    case ENC_RESULT_IN_USE: return output + QStringLiteral(" is in use");
    case ENC_RESULT_ENDED: return {};
    default: return info.Elapsed.isEmpty() ? QStringLiteral("the encoder failed") : info.Elapsed;
    }
}

}  // namespace

int cmdEncode(const QStringList& argv)
{
    Args args;
    QString error;
    if (!parseArgs(argv, {}, {"overwrite", "quiet", "json"}, args, error))
        return fail(error, 2);
    if (args.positional.size() != 3)
        return fail(kUsage, 2);
    const QString format = args.positional[0].toLower();
    const QString input = QFileInfo(args.positional[1]).absoluteFilePath();
    const QString output = QFileInfo(args.positional[2]).absoluteFilePath();
    if (format != "mp3" && format != "wav" && format != "wma")
        return fail(kUsage, 2);
    if (!QFileInfo(input).isFile())
        return fail(input + " does not exist", 1);

    LoadSettings();
    // The overwrite question is answered by --overwrite; without it an existing output stays.
    NonInteractiveDialogs dialogs(args.has("overwrite") ? NonInteractiveDialogs::Policy::AlwaysYes
                                                        : NonInteractiveDialogs::Policy::AlwaysNo,
                                  [](const QString&) {});
    ScopedDialogs scoped(dialogs);

    std::unique_ptr<TEncodeProcess> process;
    if (format == "wma")
        process = std::make_unique<TWMAEncodeProcess>();
    else
        process = std::make_unique<TMp3EncodeProcess>();

    ProgressBar bar(format == "wav" ? QStringLiteral("Decoding") : QStringLiteral("Encoding"), args.has("quiet"));
    QEventLoop loop;
    EncodeWaiter waiter(bar, loop);
    process->Running = true;
    process->InputFile = input;
    process->OutputFile = output;
    process->EncodeMode = format != "wav";
    process->JobKind = format == "wma" ? jkWavToWma : (format == "wav" ? jkMp3ToWav : jkWavToMp3);
    process->NotifyWindow = &waiter;
    try {
        process->Start();
    } catch (const EProcessError& e) {
        return fail(QString::fromUtf8(e.what()));
    }
    if (!waiter.done)
        loop.exec();
    bar.finish();
    const TProcessInfo& done = *waiter.done;
    const QString problem = resultText(done, output);
    if (args.has("json")) {
        QJsonObject o;
        o.insert("output", output);
        o.insert("result", done.Result);
        o.insert("ok", problem.isEmpty());
        if (!problem.isEmpty())
            o.insert("error", problem);
        printJson(QJsonDocument(o));
    }
    if (!problem.isEmpty())
        return fail(problem);
    return 0;
}

}  // namespace dw::cli
