// discwright-cli rip: rips the chosen tracks of the audio CD to WAV files in
// the output folder, one after the other, as the extract command does: in
// drive mode through the track rip thread and the drive library, in ripper
// mode through the CD input component and the WAV writer. Without --mode the
// mode is chosen as the main window chooses it.

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

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

#include <memory>
#include <set>

namespace dw::cli {

namespace {

const char* const kUsage =
    "usage: discwright-cli rip [--device PATH] [--tracks 1,3-5|all] [--output DIR] [--normalize PERCENT]\n"
    "                          [--rip-time SECONDS] [--mode drive|ripper] [--json] [--quiet]";


// "all", or numbers and ranges separated by commas: "1,3-5".
bool parseTracks(const QString& text, int count, std::set<int>& tracks, QString& error)
{
    if (text.isEmpty() || text == QLatin1String("all")) {
        for (int t = 1; t <= count; ++t)
            tracks.insert(t);
        return true;
    }
    for (const QString& part : text.split(',')) {
        const QStringList ends = part.trimmed().split('-');
        int first = 0, last = 0;
        if (ends.size() > 2 || !parseInt(ends.front().trimmed(), first)
            || !parseInt(ends.back().trimmed(), last) || first > last) {
            error = QString("bad track list '%1' (use e.g. 1,3-5 or all)").arg(text);
            return false;
        }
        if (first < 1 || last > count) {
            error = QString("track %1 is not on the disc (it has %2 tracks)").arg(first < 1 ? first : last).arg(count);
            return false;
        }
        for (int t = first; t <= last; ++t)
            tracks.insert(t);
    }
    return true;
}

// Flags override the settings for this run.
bool applyFlags(const Args& args, QString& error)
{
    if (args.options.contains("output"))
        AppSettings.OutputFolder = WithTrailingBackslash(QDir(args.value("output")).absolutePath());
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
        if (!parseInt(args.value("rip-time"), seconds) || seconds < 0 || seconds > 99 * 60) {
            error = "--rip-time takes whole seconds from 0 to 5940";
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

// The rows of the disc in ripper mode, as the main window lists them through
// the CD input component.
int listThroughCdIn(TCDIn& in, std::vector<TrackRow>& rows)
{
    const int drives = in.DrivesCount();
    if (drives <= 0)
        return fail(messageText(res::Get_CDHandle));
    if (!AudioCdPresent())
        return fail(messageText(res::Check_CDRom));
    const int index = AppSettings.Index;
    in.SetCurrentDrive(index <= 0 || index >= drives ? 0 : index);
    // The window shows the drive name as its status; reading it also takes
    // over the library's jitter-correction setting for the rips.
    in.DriveName();
    DiscCache(ComputeDiscKey(), DiscCacheDirection::Read);
    const int count = in.TrackCount();
    if (count <= 0)
        return fail(messageText(res::Check_CDRom));
    for (int t = 1; t <= count; ++t) {
        const TCDTrackInfo info = in.TrackInfo(t);
        rows.push_back(MakeTrackRow(t, info.Minute, info.Second));
    }
    return 0;
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
        if (!result.Ripped)
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
    if (!parseArgs(argv, {"device", "tracks", "output", "normalize", "rip-time", "mode"}, {"json", "quiet"}, args,
                   error))
        return fail(error, 2);
    if (!args.positional.isEmpty())
        return fail(kUsage, 2);
    LoadSettings();
    if (!applyDevice(args, error) || !applyFlags(args, error))
        return fail(error, 2);

    // The extract command's checks.
    if (AppSettings.EnableRipTime && AppSettings.RipTime == 0)
        return fail(messageText(res::Select_0));
    const QString folder = AppSettings.OutputFolder;
    if (folder.isEmpty())
        return fail(messageText(res::Directory_Not_Exist)
                    + messageText(res::Check_Output));
    if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder))
        return fail("Cannot create " + folder);

    // The mode, as the main window decides it: drive mode when the drive
    // library opens a drive.
    const QString mode = args.value("mode");
    DiscListing listing(DiscListingCache());
    std::unique_ptr<TCDIn> cdIn;
    std::vector<TrackRow> rows;
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
            rows = listing.Rows;
        } else if (mode == "drive") {
            return fail(messageText(res::NotFound_CDRom, listing.Status));
        }
    }
    if (ripMode == TRipMode::Ripper) {
        cdIn = std::make_unique<TCDIn>();
        if (const int status = listThroughCdIn(*cdIn, rows))
            return status;
    }

    std::set<int> wanted;
    if (!parseTracks(args.value("tracks", "all"), int(rows.size()), wanted, error))
        return fail(error, 2);
    for (TrackRow& r : rows)
        r.checked = wanted.count(r.track) != 0;
    const QStringList jobList = BuildJobList(rows);
    if (jobList.isEmpty())
        return fail(messageText(res::Select_Track));

    CliRipView view(args.has("quiet") || args.has("json"));
    TTrackRipJob job(ripMode, listing.CDHandle, cdIn.get(), TRipSettings::FromAppSettings(), &view);
    const std::vector<TRipTrackResult> results = job.Run(jobList);

    bool allRipped = true;
    QJsonArray json;
    for (const TRipTrackResult& r : results) {
        allRipped = allRipped && r.Ripped;
        if (args.has("json")) {
            QJsonObject o{{"track", r.Track}, {"title", r.Title}, {"file", r.FileName}, {"ripped", r.Ripped}};
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
                                            {"tracks", json}}));
    return allRipped ? 0 : 1;
}

}  // namespace dw::cli
