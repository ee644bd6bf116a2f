#include "widgets/QueryFreedb.h"

#include "app/ResourceText.h"
#include "app/Settings.h"
#include "cd/CDIn.h"
#include "cd/DiscListing.h"
#include "cd/DriveLibrary.h"
#include "cd/DriveRecords.h"
#include "cddb/CddbDiscValues.h"
#include "cddb/CddbLookup.h"
#include "platform/Dialogs.h"
#include "widgets/QueryCDDBForm.h"

#include <QWidget>

namespace dw {

TQueryFreedb::TQueryFreedb(QWidget* window) : QObject(window), window_(window)
{
    connect(&lookup_, &TRipperCddbLookup::finished, this, &TQueryFreedb::ripperModeFinished);
}

TQueryFreedb::~TQueryFreedb() = default;

bool TQueryFreedb::Run(DiscListing& listing, TCDIn* component)
{
    if (listing.Rows.empty())
        return false;
    if (CddbModeFor(listing) == TCddbMode::Drive)
        return runDriveMode(listing);
    // Ripper mode shows nothing, whatever the outcome: a lookup that cannot
    // start is dropped too.
    if (component && !Busy() && lookup_.Start(listing, *component, AppSettings))
        listing_ = &listing;
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

void TQueryFreedb::Cancel()
{
    lookup_.Cancel();  // no result follows
    listing_ = nullptr;
}

void TQueryFreedb::ripperModeFinished(const CddbLookupOutcome& outcome)
{
    DiscListing* listing = listing_;
    listing_ = nullptr;
    if (!listing || !outcome.hasValues || !lookup_.SameDisc(*listing))
        return;
    ApplyCddbValues(outcome.values, listing->Rows, AppSettings);
    emit rowsChanged();
}

}  // namespace dw
