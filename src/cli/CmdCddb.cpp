// discwright-cli cddb: looks the disc up on a CDDB server as the main window's
// query command does, in drive mode (the drive library's query, any match
// with --match) or with --mode ripper through the CD input component and the
// HTTP client (the first match), prints the matches and the chosen entry, and
// with --apply keeps the titles in the disc cache for list and rip.

#include "cli/CliCommon.h"
#include "cli/CliDisc.h"
#include "cli/Commands.h"

#include "app/Genres.h"
#include "app/Settings.h"
#include "cd/DiscListing.h"
#include "cd/DriveCddb.h"
#include "cddb/CddbLookup.h"
#include "cddb/DiscCache.h"
#include "cddb/DiscLookup.h"
#include "platform/CancelToken.h"
#include "runner/Extract.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonObject>
#include <QMetaObject>

#include <functional>
#include <future>

namespace dw::cli {

namespace {

QString genreName(const CddbDiscValues& v)
{
    if (!v.genre || *v.genre < 0 || *v.genre >= int(GenreNames.size()))
        return {};
    return QString::fromLatin1(GenreNames[std::size_t(*v.genre)]);
}

// The rows' titles as the lookup gives them (rows it names no title for keep theirs).
std::vector<TrackRow> titledRows(const DiscListing& listing, const CddbDiscValues& values)
{
    std::vector<TrackRow> rows = listing.Rows;
    TDiscInfo scratch;
    ApplyCddbValues(values, rows, scratch);
    return rows;
}

void printText(const CddbLookupOutcome& o, const std::vector<TrackRow>& rows)
{
    TDiscInfo disc;
    std::vector<TrackRow> none;
    ApplyCddbValues(o.values, none, disc);
    out("Disc id: " + o.discId);
    out("Matches:");
    for (int i = 0; i < o.matches.size(); ++i)
        out(QString("  %1%2 %3").arg(i == o.chosen ? "*" : " ").arg(i + 1, 2).arg(o.matches[i]));
    if (!o.hasValues)
        return;
    out(QString("Entry of match %1:").arg(o.chosen + 1));
    out("Artist: " + disc.DiscArtist);
    out("Album:  " + disc.DiscAlbum);
    out("Year:   " + disc.DiscYear);
    out("Genre:  " + genreName(o.values));
    for (const TrackRow& r : rows)
        out(QString("%1  %2").arg(r.track, 2).arg(r.title));
}

QJsonObject toJson(const CddbLookupOutcome& o, const std::vector<TrackRow>& rows, bool applied)
{
    TDiscInfo disc;
    std::vector<TrackRow> none;
    ApplyCddbValues(o.values, none, disc);
    QJsonArray matches;
    for (const QString& m : o.matches) {
        const QStringList w = m.split(' ');
        matches.append(QJsonObject{{"category", w.value(0)}, {"discId", w.value(1)}, {"title", w.mid(2).join(' ')}});
    }
    QJsonArray tracks;
    for (const TrackRow& r : rows)
        tracks.append(QJsonObject{{"no", r.track}, {"title", r.title}});
    return QJsonObject{{"discId", o.discId},
                       {"matches", matches},
                       {"chosen", o.chosen + 1},
                       {"artist", disc.DiscArtist},
                       {"album", disc.DiscAlbum},
                       {"year", disc.DiscYear},
                       {"genre", genreName(o.values)},
                       {"tracks", tracks},
                       {"applied", applied}};
}

// Runs a lookup off the main thread while the event loop waits for its end,
// so that Ctrl-C or SIGTERM cancels the token the lookup was given at once.
CddbLookupOutcome lookUp(const std::function<CddbLookupOutcome(const TCancelToken&)>& lookup)
{
    StopSignals stopSignals;
    const TCancelToken token = stopSignals.token();
    QEventLoop loop;
    auto done = std::async(std::launch::async, [&] {
        // Ends the wait however the lookup ends (a throw included); queued,
        // so it is delivered once the loop runs, even when the lookup ends first.
        struct QuitOnExit {
            QEventLoop& loop;
            ~QuitOnExit() { QMetaObject::invokeMethod(&loop, [l = &loop] { l->quit(); }, Qt::QueuedConnection); }
        } quit{loop};
        return lookup(token);
    });
    loop.exec();
    return done.get();
}

}  // namespace

int cmdCddb(const QStringList& argv)
{
    Args args;
    QString error;
    if (!parseArgs(argv, {"device", "server", "match", "timeout", "mode"}, {"apply", "json"}, args, error))
        return fail(error, 2);
    if (!args.positional.isEmpty())
        return fail("cddb takes no arguments", 2);
    const QString mode = args.value("mode", "drive");
    if (mode != "drive" && mode != "ripper")
        return fail("--mode is drive or ripper", 2);
    const bool ripper = mode == "ripper";
    if (ripper && args.options.contains("match"))
        return fail("--match works in drive mode; ripper mode reads the first match", 2);
    int match = 0;
    if (args.options.contains("match") && (!parseInt(args.value("match"), match) || match < 1))
        return fail(QString("--match needs a match number from 1: %1").arg(args.value("match")), 2);
    int timeout = 20;
    if (args.options.contains("timeout") && (!parseInt(args.value("timeout"), timeout) || timeout < 1 || timeout > 600))
        return fail(QString("--timeout needs seconds from 1 to 600: %1").arg(args.value("timeout")), 2);
    if (!applyDevice(args, error))
        return fail(error);
    LoadSettings();
    if (args.options.contains("server")) {
        // For this run only; the settings file keeps its server.
        if (!CddbServerFromText(args.value("server"), AppSettings.Script))
            return fail(QString("--server names no HTTP server: %1").arg(args.value("server")), 2);
        AppSettings.Server = args.value("server");
    }

    // Ripper mode lists and reads the disc through the CD input component,
    // as the window does when the drive library cannot open the drive.
    TExtractDisc disc(AppSettings, DiscListingCache(AppSettings));
    DiscListing& listing = disc.Listing();
    CddbLookupOutcome o;
    if (ripper) {
        const TDiscProblem problem = disc.Open(TRipModeChoice::Ripper, AppSettings.Index);
        if (problem != TDiscProblem::None)
            return fail(disc.Message());
        TRipperCddbSetup setup;
        setup.connectTimeoutMs = std::min(timeout, 10) * 1000;
        setup.totalTimeoutMs = timeout * 1000;
        TCDIn& component = *disc.Component();
        const TStoredOptions options = AppSettings;
        o = lookUp([&](const TCancelToken& token) { return RunRipperModeLookup(component, options, token, setup); });
    } else {
        listing.Show(AppSettings.Index);
        listing.Activate(AppSettings.Index);
        if (listing.CDHandle == 0)
            return fail(noDriveMessage());
        if (listing.NoAudioCd)
            return fail(messageText(res::Check_CDRom, listing.Status));
        if (listing.Rows.empty())
            return fail(messageText(res::NotRead_Cd, listing.Status)
                        + (listing.ErrorDetail.isEmpty() ? QString() : " (" + listing.ErrorDetail + ")"));

        SetCddbOptions(AppSettings);
        CDDBSetOption(CddbOptConnectTimeout, {}, std::min(timeout, 10) * 1000);
        CDDBSetOption(CddbOptTotalTimeout, {}, timeout * 1000);
        const int handle = listing.CDHandle;
        const int first = listing.Rows.front().track;
        const int last = listing.Rows.back().track;
        o = lookUp([&](const TCancelToken& token) {
            return RunDriveCddbLookup(handle, first, last, match - 1, token.Flag());
        });
    }

    switch (o.kind) {
    case CddbLookupOutcome::Stopped:
        fail("stopped by " + StopSignals::signalName());
        return kStoppedStatus;
    case CddbLookupOutcome::NotFound:
        return fail(QString("no CDDB entry for disc %1 (%2)").arg(o.discId, o.error));
    case CddbLookupOutcome::Failed:
        if (o.matches.isEmpty() || !o.hasValues)
            return fail(o.error.isEmpty() ? QString("no match names track titles") : o.error);
        break;
    case CddbLookupOutcome::Finished:
        if (!o.hasValues)
            return fail(QString("no entry of the %1 matches names track titles%2")
                            .arg(o.matches.size())
                            .arg(o.error.isEmpty() ? QString() : " (" + o.error + ")"));
        break;
    }

    const std::vector<TrackRow> rows = titledRows(listing, o.values);
    bool applied = false;
    if (args.has("apply")) {
        ApplyCddbValues(o.values, listing.Rows, AppSettings);
        if (!listing.CloseDisc())
            return fail(LastDiscCacheError().isEmpty() ? QString("cannot write %1").arg(DiscCachePath())
                                                       : LastDiscCacheError());
        applied = true;
    }
    if (args.has("json"))
        printJson(QJsonDocument(toJson(o, rows, applied)));
    else
        printText(o, rows);
    return 0;
}

}  // namespace dw::cli
