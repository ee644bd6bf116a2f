// discwright-cli rip: the extract command of the main window. It rips the
// chosen tracks of the audio CD one after the other and encodes each to the
// output format, through the same core the window calls: the disc reached in
// drive or ripper mode (chosen as the window chooses it unless --mode says),
// the checks, the job list and the engine. This file only parses the flags,
// draws the progress and prints the results. Existing files are kept unless
// --overwrite is given; Ctrl-C or SIGTERM stops the rip as the Stop button
// does (exit status 130).

#include "cli/CliCommon.h"
#include "cli/CliDisc.h"
#include "cli/CliJobView.h"
#include "cli/Commands.h"

#include "app/Helpers.h"
#include "app/OutputFormats.h"
#include "app/Settings.h"
#include "cddb/DiscCache.h"
#include "platform/Dialogs.h"
#include "runner/ConversionChecks.h"
#include "runner/Extract.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cstdio>
#include <memory>
#include <set>

namespace dw::cli {

namespace {

// "all" (every audio track), or track numbers and ranges as the list shows
// them, separated by commas: "1,3-5".
bool parseTracks(const QString& text, const std::vector<TrackRow>& rows, std::set<int>& tracks, QString& error)
{
    if (text.isEmpty() || text == QLatin1String("all")) {
        for (const TrackRow& r : rows)
            if (!r.data)
                tracks.insert(r.track);
        return true;
    }
    const int first = rows.empty() ? 1 : rows.front().track;
    const int last = rows.empty() ? 0 : rows.back().track;
    for (const QString& part : text.split(',')) {
        const QStringList ends = part.trimmed().split('-');
        int from = 0, to = 0;
        if (ends.size() > 2 || !parseInt(ends.front().trimmed(), from) || !parseInt(ends.back().trimmed(), to)
            || from > to) {
            error = QString("bad track list '%1' (use e.g. 1,3-5 or all)").arg(text);
            return false;
        }
        if (from < first || to > last) {
            error = QString("track %1 is not on the disc (it has tracks %2 to %3)")
                        .arg(from < first ? from : to)
                        .arg(first)
                        .arg(last);
            return false;
        }
        for (int t = from; t <= to; ++t)
            tracks.insert(t);
    }
    return true;
}

// Flags override the stored options for this run (the options file stays
// as it is).
bool applyFlags(const Args& args, TStoredOptions& options, QString& error)
{
    if (args.options.contains("output"))
        options.OutputFolder = WithTrailingBackslash(absolutePath(args.value("output")));
    if (args.options.contains("normalize")) {
        int percent = 0;
        if (!parseInt(args.value("normalize"), percent) || percent < 1 || percent > 1000) {
            error = "--normalize takes a percentage from 1 to 1000";
            return false;
        }
        options.IsNormalize = true;
        options.NormalizePercent = percent;
    }
    if (args.options.contains("rip-time")) {
        int seconds = 0;
        // Zero seconds would rip nothing at all.
        if (!parseInt(args.value("rip-time"), seconds) || seconds < 1 || seconds > 99 * 60) {
            error = "--rip-time takes whole seconds from 1 to 5940";
            return false;
        }
        options.EnableRipTime = true;
        options.RipTime = seconds;
    }
    if (args.options.contains("format")) {
        const std::optional<TOutputFormat> format = OutputFormatFromName(args.value("format"));
        if (!format) {
            error = "--format is wav, mp3, ogg, wma, flac or opus";
            return false;
        }
        options.OutputFormat = static_cast<int>(*format);
    }
    if (args.has("keep-wav"))
        options.IsKeepWav = true;
    if (args.has("replaygain"))
        options.ReplayGainUse = true;
    const QString mode = args.value("mode");
    if (args.options.contains("mode") && mode != "drive" && mode != "ripper") {
        error = "--mode is drive or ripper";
        return false;
    }
    return true;
}

}  // namespace

int cmdRip(const QStringList& argv)
{
    Args args;
    QString error;
    if (!parseArgs(argv, {"device", "tracks", "output", "normalize", "rip-time", "mode", "format"},
                   {"json", "quiet", "overwrite", "keep-wav", "replaygain"}, args, error))
        return fail(error, 2);
    if (!args.positional.isEmpty())
        return fail("usage: discwright-cli rip [--device PATH] [--tracks 1,3-5|all] [--output DIR]\n"
                    "  [--format wav|mp3|ogg|wma|flac|opus] [--normalize PERCENT] [--rip-time SECONDS] [--mode drive|ripper]\n"
                    "  [--keep-wav] [--replaygain] [--overwrite] [--json] [--quiet]",
                    2);
    LoadSettings();
    // The job's configuration: the stored options with the flags, then the
    // disc as the listing finds it, and --overwrite.
    TJobConfig config;
    config.Options = AppSettings.Options();
    if (!applyFlags(args, config.Options, error))
        return fail(error, 2);
    if (!applyDevice(args, error))
        return fail(error);

    // The one question of the command (create the missing output folder?)
    // is answered yes: --output names the folder to use. Messages are
    // printed from the results.
    CliJobDialogs dialogs(Answer::Yes);
    ScopedDialogs scoped(dialogs);
    const QString mode = args.value("mode");
    TExtractDisc disc(AppSettings, DiscListingCache(AppSettings));
    const TDiscProblem problem = disc.Open(mode == "drive"    ? TRipModeChoice::Drive
                                           : mode == "ripper" ? TRipModeChoice::Ripper
                                                              : TRipModeChoice::Auto,
                                           AppSettings.Index);
    if (problem == TDiscProblem::NoDrive)
        return fail(noDriveMessage());
    if (problem != TDiscProblem::None)
        return fail(disc.Message());

    // WAV and WMA files carry no loudness values: asking for them with such
    // a format is refused, the stored setting only noted.
    if (config.Options.ReplayGainUse && !JobWritesReplayGain(jkRipTracks, config.Format(), true)) {
        if (args.has("replaygain") && args.options.contains("format"))
            return fail("--replaygain needs --format " + ReplayGainFormatNames(" or ") + " (" + NoReplayGainReason() +
                            ")",
                        2);
        if (!args.has("quiet") && !args.has("json"))
            std::fputs(("discwright-cli: note: " + NoReplayGainReason() + "; this rip writes none\n").toUtf8().constData(),
                       stderr);
    }

    std::set<int> wanted;
    if (!parseTracks(args.value("tracks", "all"), disc.Rows(), wanted, error))
        return fail(error, 2);
    for (TrackRow& r : disc.Rows())
        r.checked = wanted.count(r.track) != 0;

    config.Disc = AppSettings.Disc();
    config.Overwrite = args.has("overwrite");
    const bool json = args.has("json");
    CliJobView view(json, args.has("quiet") || json);
    TExtract extract(disc, view);
    extract.SetEndOnStall(true);  // nobody can press Stop
    TExtractResult result;
    {
        // SIGINT and SIGTERM stop the job as its Stop button would.
        StopSignals stop;
        const TCancelCallback onStop(stop.token(), [&extract] { extract.Stop(); });
        result = waitForJob<TExtractResult>([&](TExtract::TEnd onEnd) { extract.Start(config, std::move(onEnd)); });
    }
    if (!result.Ran)
        return fail(result.Message);

    int done = 0;
    QJsonArray tracks;
    for (const TCDRipItem& item : result.Items) {
        const TJobItemResult& r = item.Result;
        done += r.outcome == TJobItemResult::Outcome::Done ? 1 : 0;
        if (json) {
            QJsonObject o{{"track", item.Track}, {"title", item.Title}, {"file", item.WavFile},
                          {"ripped", r.outcome == TJobItemResult::Outcome::Done},
                          {"result", OutcomeName(r.outcome)}, {"outputs", QJsonArray::fromStringList(r.outputs)}};
            if (!r.message.isEmpty())
                o.insert("message", r.message);
            tracks.append(o);
        } else {
            for (const QString& file : r.outputs)
                out(file);
        }
    }
    if (json)
        PrintJsonLine({{"event", "summary"}, {"mode", result.DriveMode ? "drive" : "ripper"},
                       {"format", FormatName(config.Format()).toLower()},
                       {"stopped", result.Stopped}, {"tracks", tracks}});
    if (result.Stopped)
        return fail(QString("stopped by %1; %2 of %3 tracks ripped, no partial file left")
                        .arg(StopSignals::signalName())
                        .arg(done)
                        .arg(result.Items.size()),
                    kStoppedStatus);
    return result.AllDone() ? 0 : 1;
}

}  // namespace dw::cli
