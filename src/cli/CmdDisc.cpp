// discwright-cli drives | list | title: the drive list, the disc's track list
// as the main window shows it, and renaming a track with the disc information
// saved to the cache as the main window saves it when it closes.

#include "cli/CliCommon.h"
#include "cli/CliDisc.h"
#include "cli/Commands.h"

#include "app/ResourceText.h"
#include "app/Settings.h"
#include "cd/DiscListing.h"
#include "cd/DriveLibrary.h"
#include "cddb/DiscCache.h"
#include "platform/CdDrives.h"

#include <algorithm>
#include <QJsonArray>
#include <QJsonObject>

namespace dw::cli {

namespace {

// A status text of the main window as an error line. A language file that
// lacks the message leaves the window's status line empty; the command line
// still needs a readable line, so it falls back to the English text then.
int failStatus(const QString& status, const res::Key& key, const QString& detail = {})
{
    QString text = messageText(key, status);
    if (!detail.isEmpty())
        text += " (" + detail + ")";
    return fail(text);
}

// Runs the main window's showing and activation steps; on failure prints the
// status line the window would show and gives the exit status.
int listDisc(DiscListing& listing)
{
    listing.Show(AppSettings.Index);
    listing.Activate(AppSettings.Index);
    if (listing.CDHandle == 0)
        return fail(noDriveMessage());
    if (listing.NoAudioCd)
        return failStatus(listing.Status, res::Check_CDRom);
    if (listing.Rows.empty())
        return failStatus(listing.Status, res::NotRead_Cd, listing.ErrorDetail);
    return 0;
}

void printRows(const DiscListing& listing)
{
    out(listing.Status);
    out(QString("%1 %2 %3 %4")
            .arg(QString("No.").leftJustified(4))
            .arg(QString("Title").leftJustified(30))
            .arg(QString("Length(min)").leftJustified(12))
            .arg("Size(MB)"));
    for (const TrackRow& r : listing.Rows)
        out(QString("%1 %2 %3 %4%5")
                .arg(QString::number(r.track).leftJustified(4))
                .arg(r.title.leftJustified(30))
                .arg(r.length.leftJustified(12))
                .arg(r.size)
                .arg(r.data ? "  (data track)" : ""));
}

QJsonObject rowsJson(const DiscListing& listing)
{
    QJsonArray tracks;
    for (const TrackRow& r : listing.Rows)
        tracks.append(QJsonObject{
            {"no", r.track}, {"title", r.title}, {"length", r.length}, {"size", r.size}, {"data", r.data}});
    return QJsonObject{{"drive", listing.DriveDescription},
                       {"status", listing.Status},
                       {"discKey", listing.DiscKey},
                       {"artist", AppSettings.DiscArtist},
                       {"album", AppSettings.DiscAlbum},
                       {"year", AppSettings.DiscYear},
                       {"genre", AppSettings.DiscGenre},
                       {"comment", AppSettings.DiscComment},
                       {"tracks", tracks}};
}

// The start of drives and list: options --device and --json, no other
// arguments; the device applied and the settings loaded. Gives -1 to go on,
// otherwise the exit status.
int beginListing(const char* command, const QStringList& argv, Args& args)
{
    QString error;
    if (!parseArgs(argv, {"device"}, {"json"}, args, error))
        return fail(error, 2);
    if (!args.positional.isEmpty())
        return fail(QString("%1 takes no arguments").arg(command), 2);
    if (!applyDevice(args, error))
        return fail(error);
    LoadSettings();
    return -1;
}

}  // namespace

int cmdDrives(const QStringList& argv)
{
    Args args;
    if (const int status = beginListing("drives", argv, args); status >= 0)
        return status;
    CdListRecord record {};
    record[0] = CdListMaxEntries;
    const int count = GetCDList(record);
    if (count == 0) {
        // An empty list is an answer, not a failure, for a program reading JSON.
        if (args.has("json")) {
            printJson(QJsonDocument(QJsonArray()));
            return 0;
        }
        return fail(noDriveMessage());
    }
    const CdList list = DecodeCdList(record);
    if (args.has("json")) {
        QJsonArray drives;
        for (int i = 0; i < int(list.entries.size()); ++i) {
            const CdListEntry& e = list.entries[std::size_t(i)];
            drives.append(QJsonObject{{"position", i},
                                      {"adapter", e.adapter},
                                      {"target", e.target},
                                      {"lun", e.lun},
                                      {"vendor", e.vendor.trimmed()},
                                      {"product", e.product.trimmed()},
                                      {"path", DriveListPath(i)}});
        }
        printJson(QJsonDocument(drives));
        return 0;
    }
    for (int i = 0; i < int(list.entries.size()); ++i) {
        const CdListEntry& e = list.entries[std::size_t(i)];
        out(QString("%1  %2  %3").arg(i).arg((e.vendor + e.product).left(26).leftJustified(26)).arg(DriveListPath(i)));
    }
    return 0;
}

int cmdList(const QStringList& argv)
{
    Args args;
    if (const int status = beginListing("list", argv, args); status >= 0)
        return status;
    DiscListing listing(AppSettings, DiscListingCache(AppSettings));
    if (int rc = listDisc(listing))
        return rc;
    if (args.has("json"))
        printJson(QJsonDocument(rowsJson(listing)));
    else
        printRows(listing);
    return 0;
}

int cmdTitle(const QStringList& argv)
{
    Args args;
    QString error;
    if (!parseArgs(argv, {"device"}, {}, args, error))
        return fail(error, 2);
    if (args.positional.size() < 2)
        return fail("usage: title [--device PATH] N TEXT", 2);
    int track = 0;
    if (!parseInt(args.positional[0], track))
        return fail(QString("not a track number: %1").arg(args.positional[0]), 2);
    const QString title = args.positional.mid(1).join(' ');
    if (title.isEmpty())
        return fail("the new title is empty", 2);
    if (!applyDevice(args, error))
        return fail(error);
    LoadSettings();
    DiscListing listing(AppSettings, DiscListingCache(AppSettings));
    if (int rc = listDisc(listing))
        return rc;
    // Tracks go by the numbers the list shows (a disc may start above 1).
    auto row = std::find_if(listing.Rows.begin(), listing.Rows.end(), [&](const TrackRow& r) { return r.track == track; });
    if (row == listing.Rows.end())
        return fail(QString("no track %1 on this disc (it has tracks %2 to %3)")
                        .arg(track)
                        .arg(listing.Rows.front().track)
                        .arg(listing.Rows.back().track));
    row->title = title;
    if (!listing.CloseDisc())
        return fail(LastDiscCacheError().isEmpty() ? QString("cannot write %1").arg(DiscCachePath())
                                                   : LastDiscCacheError());
    out(QString("%1  %2").arg(track).arg(title));
    return 0;
}

}  // namespace dw::cli
