// discwright-cli rip: rips the chosen tracks of the audio CD to WAV files in
// the output folder, one after the other, as the extract command does: in
// drive mode through the track rip thread and the drive library, in ripper
// mode through the CD input component and the WAV writer. Without --mode the
// mode is chosen as the main window chooses it. Existing files are kept
// unless --overwrite is given; Ctrl-C or SIGTERM stops the rip as the Stop
// button does (exit status 130).

#include "cli/CliCommon.h"
#include "cli/CliDisc.h"
#include "cli/Commands.h"

#include "app/Helpers.h"
#include "app/ResourceText.h"
#include "app/Settings.h"
#include "cd/CDIn.h"
#include "cd/DiscListing.h"
#include "cd/TrackRipJob.h"
#include "cddb/DiscCache.h"
#include "platform/CdDrives.h"
#include "platform/NativePath.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <set>
#include <sys/stat.h>

namespace dw::cli {

namespace {

const char* const kUsage =
    "usage: discwright-cli rip [--device PATH] [--tracks 1,3-5|all] [--output DIR] [--normalize PERCENT]\n"
    "                          [--rip-time SECONDS] [--mode drive|ripper] [--overwrite] [--json] [--quiet]";

// Exit status of a rip stopped by SIGINT or SIGTERM (128 + SIGINT, as shells report it).


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

// Flags override the settings for this run.
bool applyFlags(const Args& args, QString& error)
{
    if (args.options.contains("output"))
        AppSettings.OutputFolder = WithTrailingBackslash(absolutePath(args.value("output")));
    if (args.options.contains("normalize")) {
        int percent = 0;
        if (!parseInt(args.value("normalize"), percent) || percent < 1 || percent > 1000) {
            error = "--normalize takes a percentage from 1 to 1000";
            return false;
        }
        AppSettings.IsNormalize = true;
        AppSettings.NormalizePercent = percent;
    }
    if (args.options.contains("rip-time")) {
        int seconds = 0;
        // Zero seconds would rip nothing at all.
        if (!parseInt(args.value("rip-time"), seconds) || seconds < 1 || seconds > 99 * 60) {
            error = "--rip-time takes whole seconds from 1 to 5940";
            return false;
        }
        AppSettings.EnableRipTime = true;
        AppSettings.RipTime = seconds;
    }
    const QString mode = args.value("mode");
    if (args.options.contains("mode") && mode != "drive" && mode != "ripper") {
        error = "--mode is drive or ripper";
        return false;
    }
    return true;
}

// The rows of the disc in ripper mode, listed as the main window lists them
// through the CD input component.
int listThroughCdIn(TCDIn& in, DiscListing& listing)
{
    if (in.DrivesCount() <= 0)
        return fail(messageText(res::Get_CDHandle));
    if (!AudioCdPresent())
        return fail(messageText(res::Check_CDRom));
    DiscListing::SelectComponentDrive(in, AppSettings.Index);
    // Listing also reads the drive name, which takes over the library's
    // jitter-correction setting for the rips.
    listing.ListThroughComponent(in);
    if (listing.Rows.empty())
        return fail(messageText(res::Check_CDRom));
    return 0;
}

// Creates the output folder and the folders above it that are missing;
// false with "<folder>: <reason>".
bool makeFolder(const QString& folder, QString& error)
{
    const QString clean = absolutePath(folder);
    if (IsDirectory(clean))
        return true;
    QString path;
    for (const QString& part : clean.split('/', Qt::SkipEmptyParts)) {
        path += '/' + part;
        if (::mkdir(NativePath(path).constData(), 0777) != 0 && errno != EEXIST) {
            error = "Cannot create " + path + ": " + SystemReason(errno);
            return false;
        }
    }
    if (!IsDirectory(clean)) {
        error = "Cannot create " + clean + ": " + SystemReason(ENOTDIR);
        return false;
    }
    return true;
}


// Draws a progress bar per track and reports failed tracks as they end.
class CliRipView : public TRipJobView {
public:
    explicit CliRipView(bool quiet) : quiet_(quiet) {}
    void TrackStarted(int index, int count, const TRipTrackResult& track) override
    {
        bar_ = std::make_unique<ProgressBar>(
            QString("[%1/%2] %3").arg(index + 1).arg(count).arg(FormatTwoDigits(track.Track) + " " + track.Title),
            quiet_);
        bar_->update(0);
    }
    void Progress(int percent, const QString& elapsed, const QString& estimated) override
    {
        if (bar_)
            bar_->update(percent, elapsed.isEmpty() ? QString() : elapsed + " / " + estimated);
    }
    void Normalizing() override
    {
        if (bar_)
            bar_->update(-1, "normalizing");
    }
    void TrackFinished(const TRipTrackResult& result) override
    {
        if (bar_)
            bar_->finish();
        bar_.reset();
        if (!result.Ripped && !result.Stopped)
            fail(result.Detail.isEmpty() ? result.Message : result.Message + " (" + result.Detail + ")");
    }

private:
    bool quiet_;
    std::unique_ptr<ProgressBar> bar_;
};

}  // namespace

int cmdRip(const QStringList& argv)
{
    Args args;
    QString error;
    if (!parseArgs(argv, {"device", "tracks", "output", "normalize", "rip-time", "mode"},
                   {"json", "quiet", "overwrite"}, args, error))
        return fail(error, 2);
    if (!args.positional.isEmpty())
        return fail(kUsage, 2);
    LoadSettings();
    if (!applyFlags(args, error))
        return fail(error, 2);
    if (!applyDevice(args, error))
        return fail(error);

    // The extract command's checks.
    if (AppSettings.EnableRipTime && AppSettings.RipTime == 0)
        return fail(messageText(res::Select_0));
    const QString folder = AppSettings.OutputFolder;
    if (folder.isEmpty())
        return fail(messageText(res::Directory_Not_Exist) + messageText(res::Check_Output));
    if (!makeFolder(folder, error))
        return fail(error);
    if (!FolderWritable(folder, &error))
        return fail(error);

    // The mode, as the main window decides it: drive mode when the drive
    // library opens a drive.
    const QString mode = args.value("mode");
    DiscListing listing(DiscListingCache());
    std::unique_ptr<TCDIn> cdIn;
    TRipMode ripMode = TRipMode::Ripper;
    if (mode != "ripper") {
        listing.Show(AppSettings.Index);
        if (listing.CDHandle != 0) {
            ripMode = TRipMode::Drive;
            if (listing.NoAudioCd)
                return fail(messageText(res::Check_CDRom));
            if (listing.Rows.empty())
                return fail(messageText(res::NotRead_Cd, listing.Status)
                            + (listing.ErrorDetail.isEmpty() ? QString() : " (" + listing.ErrorDetail + ")"));
        } else if (mode == "drive") {
            return fail(noDriveMessage());
        }
    }
    if (ripMode == TRipMode::Ripper) {
        cdIn = std::make_unique<TCDIn>();
        if (const int status = listThroughCdIn(*cdIn, listing))
            return status;
    }
    std::vector<TrackRow>& rows = listing.Rows;

    std::set<int> wanted;
    if (!parseTracks(args.value("tracks", "all"), rows, wanted, error))
        return fail(error, 2);
    for (TrackRow& r : rows)
        r.checked = wanted.count(r.track) != 0;
    const QStringList jobList = BuildJobList(rows);
    if (jobList.isEmpty())
        return fail(messageText(res::Select_Track));

    TRipSettings settings = TRipSettings::FromAppSettings();
    settings.Overwrite = args.has("overwrite");
    CliRipView view(args.has("quiet") || args.has("json"));
    TTrackRipJob job(ripMode, listing.CDHandle, cdIn.get(), settings, &view);
    std::vector<TRipTrackResult> results;
    {
        // SIGINT and SIGTERM stop the job as its Stop button would; the job
        // then ends its current track without leaving a partial file.
        StopSignals stop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (StopSignals::requested())
                job.Stop();
        });
        poll.start(50);
        results = job.Run(jobList);
    }

    bool allRipped = true;
    int ripped = 0;
    QJsonArray json;
    for (const TRipTrackResult& r : results) {
        allRipped = allRipped && r.Ripped;
        ripped += r.Ripped ? 1 : 0;
        if (args.has("json")) {
            QJsonObject o{{"track", r.Track}, {"title", r.Title}, {"file", r.FileName}, {"ripped", r.Ripped}};
            if (r.Stopped)
                o.insert("stopped", true);
            if (!r.Ripped) {
                o.insert("message", r.Message);
                if (!r.Detail.isEmpty())
                    o.insert("detail", r.Detail);
            }
            json.append(o);
        } else if (r.Ripped) {
            out(r.FileName);
        }
    }
    if (args.has("json"))
        printJson(QJsonDocument(QJsonObject{{"mode", ripMode == TRipMode::Drive ? "drive" : "ripper"},
                                            {"stopped", job.WasStopped()},
                                            {"tracks", json}}));
    if (job.WasStopped())
        return fail(QString("stopped by %1; %2 of %3 tracks ripped, no partial file left")
                        .arg(StopSignals::signalName())
                        .arg(ripped)
                        .arg(results.size()),
                    kStoppedStatus);
    return allRipped ? 0 : 1;
}

}  // namespace dw::cli
