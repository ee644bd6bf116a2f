#include "widgets/QueryFreedb.h"

#include "app/JobEvents.h"
#include "app/ResourceText.h"
#include "app/Settings.h"
#include "cd/CDIn.h"
#include "cd/DiscListing.h"
#include "cd/DriveLibrary.h"
#include "cd/DriveRecords.h"
#include "cddb/CDDBInfo.h"
#include "cddb/CddbDiscValues.h"
#include "cddb/CddbLookup.h"
#include "cddb/QueryCDDBThread.h"
#include "platform/Dialogs.h"
#include "widgets/QueryCDDBForm.h"

#include <QWidget>

#include <exception>

namespace dw {

namespace {

// What identifies the listed disc beside its key: track numbers and lengths.
QStringList trackFingerprint(const DiscListing& listing)
{
    QStringList out;
    for (const TrackRow& row : listing.Rows)
        out << QString::number(row.track) + ' ' + row.length;
    return out;
}

}  // namespace

TQueryFreedb::TQueryFreedb(QWidget* window) : QObject(window), window_(window) {}

TQueryFreedb::~TQueryFreedb() = default;

bool TQueryFreedb::Run(DiscListing& listing, TCDIn* component)
{
    if (listing.Rows.empty())
        return false;
    if (listing.CDHandle != 0)
        return runDriveMode(listing);
    if (component && !Busy())
        runRipperMode(listing, *component);
    return false;
}

bool TQueryFreedb::runDriveMode(DiscListing& listing)
{
    ModifyCDParms(listing.CDHandle, CdParmMsf, 1);
    TocRecord record{};
    std::optional<CdToc> toc;
    if (ReadTOC(listing.CDHandle, record) == 1)
        toc = DecodeToc(record);
    if (!toc) {
        CurrentDialogs().error(ResourceText(res::ReadTocError));
        return false;
    }
    TfrmQueryCDDB lookup(uint8_t(toc->firstTrack), uint8_t(toc->lastTrack), listing.CDHandle, listing.Rows,
                         AppSettings, window_);
    lookup.exec();
    return lookup.Finished();
}

void TQueryFreedb::runRipperMode(DiscListing& listing, TCDIn& component)
{
    try {
        TCDDBInfo client;
        client.CDIn = &component;
        if (!ConfigureCddbClient(client, AppSettings))
            return;
        const CddbToc disc = client.ReadDisc();
        listing_ = &listing;
        discKey_ = listing.DiscKey;
        tracks_ = trackFingerprint(listing);
        thread_ = std::make_unique<TQueryCDDBThread>(
            TQueryCDDBThread::RipperModeLookup(client.Server, client.Http, disc), this);
    } catch (const std::exception&) {
        // Ripper mode shows nothing, whatever the outcome.
        thread_.reset();
        listing_ = nullptr;
    }
}

void TQueryFreedb::Cancel()
{
    thread_.reset();  // stops it; no event follows
    listing_ = nullptr;
}

void TQueryFreedb::customEvent(QEvent* event)
{
    if (event->type() != WM_CDDB_RESULT) {
        QObject::customEvent(event);
        return;
    }
    if (!thread_ || !listing_)
        return;
    const CddbLookupOutcome outcome = thread_->Outcome();
    DiscListing& listing = *listing_;
    Cancel();
    if (!outcome.hasValues || listing.DiscKey != discKey_ || trackFingerprint(listing) != tracks_)
        return;
    ApplyCddbValues(outcome.values, listing.Rows, AppSettings);
    emit rowsChanged();
}

}  // namespace dw
