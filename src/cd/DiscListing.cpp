#include "cd/DiscListing.h"

#include "app/FileNames.h"
#include "app/Helpers.h"
#include "app/ResourceText.h"
#include "cd/CDIn.h"
#include "cd/DriveLibrary.h"
#include "cd/RipperLibrary.h"
#include "platform/CdDrives.h"
#include "platform/Dialogs.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <optional>

namespace dw {

namespace {

constexpr int MaxTitleSlot = 100;

// Rounds to the nearest integer, halves to the even neighbour, whatever the
// floating-point rounding mode is.
int64_t roundHalfEven(double v)
{
    const double lower = std::floor(v);
    const double diff = v - lower;
    int64_t r = int64_t(lower);
    if (diff > 0.5 || (diff == 0.5 && (r % 2 != 0)))
        ++r;
    return r;
}

}  // namespace

QString TrackLengthText(int minutes, int seconds)
{
    return FormatTwoDigits(minutes) + ":" + FormatTwoDigits(seconds);
}

QString TrackSizeText(int minutes, int seconds)
{
    const int64_t bytes = (int64_t(minutes) * 60 + seconds) * 44100 * 4;
    const double megabytes = double(bytes) / 1048576.0;
    const int64_t d = roundHalfEven(megabytes * 100);
    return FormatTwoDigits(int(d / 100)) + "." + FormatTwoDigits(int(d % 100));
}

TrackRow MakeTrackRow(int track, int minutes, int seconds, TDiscInfo& disc)
{
    TrackRow row;
    row.track = track;
    row.length = TrackLengthText(minutes, seconds);
    row.size = TrackSizeText(minutes, seconds);
    const QString fallback = QStringLiteral("Track") + FormatTwoDigits(track);
    if (track >= 1 && track <= MaxTitleSlot) {
        QString& slot = disc.DiscTitles[std::size_t(track)];
        if (slot.isEmpty())
            slot = fallback;
        row.title = slot;
    } else {
        row.title = fallback;
    }
    return row;
}

QStringList BuildJobList(const std::vector<TrackRow>& rows)
{
    std::vector<TTitledTrack> titled;
    for (const TrackRow& row : rows)
        titled.push_back({row.track, row.title});
    const QStringList stems = UniqueFileStems(titled);
    QStringList jobs;
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].checked)
            jobs << FormatTwoDigits(rows[i].track) + stems.at(qsizetype(i));
    return jobs;
}

DiscListing::~DiscListing()
{
    if (CDHandle != 0)
        CloseCDHandle(CDHandle);
}

int DiscListing::DetectDriveMode(int position)
{
    if (position < 0)
        position = 0;
    CdListRecord list {};
    list[0] = CdListMaxEntries;
    const int count = GetCDList(list);
    if (position >= count)
        position = 0;
    if (CDHandle != 0) {
        // A handle of an earlier detection is replaced, not leaked.
        CloseCDHandle(CDHandle);
        CDHandle = 0;
    }
    position_ = position;
    DrivePath = DriveListPath(position);
    if (count == 0) {
        Status = ResourceText(res::NotFound_CDRom);
        return 0;
    }
    const CdList decoded = DecodeCdList(list);
    const CdListEntry& entry = decoded.entries[std::size_t(position)];
    DriveDescription = (entry.vendor + entry.product).left(26);
    Status = DriveDescription;

    OpenRequest req;
    req.adapter = entry.adapter;
    req.target = entry.target;
    req.lun = entry.lun;
    OpenRequestRecord record {};
    EncodeOpenRequest(req, record);
    int handle = GetCDHandle(record);
    if (handle == 0) {
        // A handle left open elsewhere may hold the last free slot.
        for (int i = 1; i <= 10; ++i) {
            if (CloseCDHandle(i) != 0) {
                handle = GetCDHandle(record);
                break;
            }
        }
    }
    if (handle == 0)
        Status = ResourceText(res::NotFound_CDRom);
    CDHandle = handle;
    return handle;
}

void DiscListing::Show(int position)
{
    try {
        CDHandle = DetectDriveMode(position);
        if (CDHandle != 0) {
            if (IsAudioCdDrive(DrivePath))
                ListFromToc();
            else
                NoAudioCd = true;
            IdleStatusText = Status;
        }
    } catch (const std::exception&) {
        // Errors of the showing step are swallowed; the window stays usable.
    }
}

void DiscListing::Activate(int index, TCDIn* component)
{
    try {
        if (CDHandle == 0 && component) {
            if (IsAudioCdDrive(DrivePathAt(index))) {
                SelectComponentDrive(*component, index);
                ListThroughComponent(*component);
            } else {
                NoAudioCd = true;
            }
        }
    } catch (const std::exception&) {
        // Like showing, activation never stops the window.
    }
    if (NoAudioCd)
        Status = ResourceText(res::Check_CDRom);
}

void DiscListing::SelectComponentDrive(TCDIn& component, int index)
{
    const int count = component.DrivesCount();
    component.SetCurrentDrive(index <= 0 || index >= count ? 0 : index);
}

QString DiscListing::DrivePathAt(int index)
{
    // Read afresh: a drive list that changed since (an image named anew) is
    // seen, as the disc in a drive is.
    const std::vector<CdDrive> drives = ListCdDrives();
    if (drives.empty())
        return {};
    return drives[std::size_t(index <= 0 || std::size_t(index) >= drives.size() ? 0 : index)].path;
}

void DiscListing::ListThroughComponent(TCDIn& component)
{
    DrivePath = RipperDriveList().value(component.GetCurrentDrive());
    readDiscInformation();
    Rows.clear();
    // The component counts tracks from 1; the rows show the disc's numbers.
    const int count = component.TrackCount();
    const int first = count > 0 ? component.FirstTrackNumber() : 1;
    for (int t = 1; t <= count; ++t) {
        const TCDTrackInfo info = component.TrackInfo(t);
        TrackRow row = MakeTrackRow(first + t - 1, info.Minute, info.Second, disc_);
        row.data = info.DataTrack;
        Rows.push_back(row);
    }
    noteTrackCount();
    Status = component.DriveName();
    IdleStatusText = Status;
}

void DiscListing::noteTrackCount()
{
    // The cache gives the count of its title slots (all of them for a disc
    // it does not know); the tags' "track n of total" need the disc's own.
    disc_.DiscTrackCount = Rows.empty() ? 0 : std::min(Rows.back().track, MaxTitleSlot);
}

void DiscListing::readDiscInformation()
{
    DiscKey = DiscKeyOf(DrivePath);
    if (cache_)
        cache_(DiscKey, false);
}

bool DiscListing::ListFromToc()
{
    if (CDHandle == 0)
        return false;
    ErrorDetail.clear();
    readDiscInformation();
    ModifyCDParms(CDHandle, CdParmMsf, 1);
    Rows.clear();
    TocRecord record {};
    std::optional<CdToc> toc;
    if (ReadTOC(CDHandle, record) == 1)
        toc = DecodeToc(record, &ErrorDetail);
    else
        ErrorDetail = GetAspiLibErrorText();
    if (!toc) {
        Status = ResourceText(res::NotRead_Cd);
        return false;
    }
    // Entry i is the i-th track of the disc; the entry after the last track is
    // the lead-out. A track's length is the next entry's start minus its own,
    // in whole minutes and seconds (frames ignored).
    const auto& entries = toc->entries;
    int previousMinute = entries[0].minute();
    int previousSecond = entries[0].second();
    for (int t = toc->firstTrack; t <= toc->lastTrack; ++t) {
        const TocEntry& next = entries[std::size_t(t - toc->firstTrack + 1)];
        int m = next.minute() - previousMinute;
        int s = next.second() - previousSecond;
        if (s < 0) {
            s += 60;
            m -= 1;
        }
        previousMinute = next.minute();
        previousSecond = next.second();
        TrackRow row = MakeTrackRow(t, m, s, disc_);
        row.data = entries[std::size_t(t - toc->firstTrack)].isData();
        Rows.push_back(row);
    }
    noteTrackCount();
    Status = DriveDescription;
    return true;
}

void DiscListing::Refresh(int index, TCDIn* component)
{
    if (CDHandle == 0) {
        if (!component)
            return;
        if (IsAudioCdDrive(DrivePathAt(index))) {
            SelectComponentDrive(*component, index);
            ListThroughComponent(*component);
        } else {
            Status = ResourceText(res::Check_CDRom);
        }
        return;
    }
    DrivePath = DrivePathAt(position_);
    if (IsAudioCdDrive(DrivePath)) {
        ListFromToc();
        if (Status == ResourceText(res::Check_CDRom))
            Status = DriveDescription;
    } else {
        Clear();
        Status = ResourceText(res::Check_CDRom);
    }
}

bool DiscListing::CloseDisc()
{
    bool saved = true;
    try {
        // Title slots go by track number, as MakeTrackRow reads them; a disc
        // whose first track is not 1 keeps its titles in the slots of its numbers.
        int last = 0;
        for (const TrackRow& row : Rows) {
            if (row.track >= 1 && row.track <= MaxTitleSlot) {
                disc_.DiscTitles[std::size_t(row.track)] = row.title;
                last = std::max(last, row.track);
            }
        }
        disc_.DiscTrackCount = last;
        // The rows belong to the disc they were listed from: a disc changed
        // since (or another drive's) must not get their titles, and a list
        // that could not be read holds none to save.
        if (cache_ && !Rows.empty())
            saved = cache_(DiscKey, true);
        if (CDHandle != 0) {
            const int handle = CDHandle;
            CDHandle = 0;
            if (CloseCDHandle(handle) == 0)
                CurrentDialogs().error(ResourceText(res::Close_CD_Error));
        }
    } catch (const std::exception&) {
        // Errors of the closing steps are swallowed.
        saved = false;
    }
    return saved;
}

}  // namespace dw
