// discwright-cli convert: converts files through the job runner, as the main
// window's file conversions do: WAV to MP3 (resampled to 44100 Hz first when
// below), MP3 to WAV, WAV to Ogg Vorbis (likewise), WAV to WMA, and WAV,
// FLAC, Opus or Ogg Vorbis files (told apart by content) to FLAC or Opus with
// the [FlacOptions] and [OpusOptions] settings. With --replaygain (or the
// [ReplayGain] Use setting) MP3, Ogg Vorbis, FLAC and Opus outputs get the
// track values measured from the PCM being encoded; a conversion's files
// are not taken for one album, so they get no album values. Several items
// may run at once, each through a runner of its own. Progress shows the
// stage caption with percent, elapsed and estimated time; --json prints one
// object per event and a summary. Ctrl-C or SIGTERM stops as the Stop button.

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QThread>

#include <memory>

#include "app/OutputFormats.h"
#include "app/Settings.h"
#include "cli/CliCommon.h"
#include "cli/CliJobView.h"
#include "cli/Commands.h"
#include "platform/Dialogs.h"
#include "runner/ConversionChecks.h"
#include "runner/RunJob.h"

namespace dw::cli {

namespace {

const char kUsage[] =
    "usage: discwright-cli convert mp3|wav|ogg|wma|flac|opus FILES... [--output DIR] [--jobs N] [--replaygain] [--overwrite] [--json] [--quiet]";

}  // namespace

int cmdConvert(const QStringList& argv)
{
    Args args;
    QString error;
    if (!parseArgs(argv, {"output", "jobs"}, {"overwrite", "quiet", "json", "replaygain"}, args, error))
        return fail(error, 2);
    const std::optional<TOutputFormat> format =
        args.positional.isEmpty() ? std::nullopt : OutputFormatFromName(args.positional[0].toLower());
    if (args.positional.size() < 2 || !format)
        return fail(kUsage, 2);
    const TJobKind kind = ConversionKindFor(*format);
    int jobs = QThread::idealThreadCount();
    if (args.options.contains("jobs") && (!parseInt(args.value("jobs"), jobs) || jobs < 1))
        return fail(QStringLiteral("--jobs takes a number of 1 or more, not ") + args.value("jobs"), 2);
    if (jobs < 1)
        jobs = 1;

    if (args.has("replaygain") && !JobWritesReplayGain(kind, *format, true))
        return fail("--replaygain works with " + ReplayGainFormatNames(" and ") + " outputs (" + NoReplayGainReason() +
                        ")",
                    2);

    LoadSettings();
    // The job's configuration: the stored options with the flags (the
    // options file stays as it is).
    TJobConfig config = TJobConfig::FromSettings(AppSettings);
    if (args.has("replaygain"))
        config.Options.ReplayGainUse = true;
    // An existing output is replaced only with --overwrite.
    config.Overwrite = args.has("overwrite");
    if (args.options.contains("output"))
        config.Options.OutputFolder = QFileInfo(args.value("output")).absoluteFilePath();
    // A missing output folder is made (one level), as rip makes its own.
    if (const std::optional<TJobFailure> refusal =
            CheckConversion(kind, config.Options.OutputFolder, TMissingFolder::Create))
        return fail(refusal->Text());

    QStringList files;
    for (const QString& f : args.positional.mid(1))
        files << QFileInfo(f).absoluteFilePath();

    // Any question a job asks gets the answer --overwrite gives.
    CliJobDialogs dialogs(args.has("overwrite") ? Answer::Yes : Answer::No);
    ScopedDialogs scoped(dialogs);
    const bool json = args.has("json");
    const bool quiet = args.has("quiet") || json;
    StopSignals stop;
    TJobRunOptions options;
    options.cancel = stop.token();
    const TJobSummary summary = waitForJob<TJobSummary>([&](TJobEnd onEnd) {
        RunConversionJobs(
            kind, files, jobs, config, [json, quiet] { return std::make_unique<CliJobView>(json, quiet); },
            std::move(onEnd), options);
    });

    const int done = summary.count(TJobItemResult::Outcome::Done);
    const int failed = summary.count(TJobItemResult::Outcome::Failed);
    const int skipped = summary.count(TJobItemResult::Outcome::Skipped);
    const int stoppedItems = summary.count(TJobItemResult::Outcome::Stopped);
    if (json) {
        QJsonArray outputs;
        for (const TJobItemResult& r : summary.items)
            for (const QString& o : r.outputs)
                outputs.append(o);
        PrintJsonLine({{"event", "summary"}, {"items", int(summary.items.size())}, {"done", done},
                       {"failed", failed}, {"skipped", skipped}, {"stopped", stoppedItems},
                       {"outputs", outputs}, {"ok", summary.allDone()}});
    } else if (!args.has("quiet")) {
        out(QStringLiteral("%1 of %2 converted").arg(done).arg(summary.items.size()));
    }
    if (summary.stopped)
        return fail(QStringLiteral("stopped by ") + StopSignals::signalName(), kStoppedStatus);
    return summary.allDone() ? 0 : 1;
}

}  // namespace dw::cli
