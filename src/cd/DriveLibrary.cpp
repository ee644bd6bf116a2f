#include "cd/DriveLibrary.h"

#include "platform/CueSheet.h"
#include "platform/FdIo.h"
#include "platform/NativePath.h"

#include <QFileInfo>

#include <cdio/cdio.h>
#include <cdio/read.h>
#include <cdio/track.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace dw {

namespace {

// One open drive. Its mutex serialises the libcdio calls on it.
struct OpenDrive {
    std::mutex mutex;
    QString path;
    CdioPtr cdio;
    bool msf = false;
    // An image whose audio libcdio reads from one file at sector x 2352
    // bytes: its sectors are read from that file directly, without the
    // library's buffered stream copying every byte once more. Looked for
    // (and checked against libcdio) once per table of contents.
    UniqueFd direct;
    bool directLooked = false;
    // The file last seen to match, so that a table of contents read again
    // (every track) does not check the same file again.
    struct stat matched {};
};

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size
           && a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

bool isDevice(const QString& path)
{
    struct stat st {};
    return ::stat(NativePath(path).constData(), &st) == 0 && (S_ISBLK(st.st_mode) || S_ISCHR(st.st_mode));
}

// The file a cue sheet's sectors come from, when libcdio reads the sheet as
// it stands: the .bin beside it with its name.
UniqueFd cueDataFile(const QString& path)
{
    const QFileInfo info(path);
    if (info.suffix().compare(QLatin1String("cue"), Qt::CaseInsensitive) != 0 || !CueSheetFitsLibcdio(path))
        return {};
    UniqueFd fd = OpenReadOnly(info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".bin"));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    return fd;
}

bool preadWhole(int fd, uint8_t* data, size_t size, off_t at)
{
    while (size > 0) {
        const ssize_t n = ::pread(fd, data, size, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
        at += n;
    }
    return true;
}

// Whether the file gives the very bytes libcdio gives: the first, middle and
// last sector of every audio track are compared. Silence proves nothing, so
// at least one sector compared must hold sound. Drive mutex held.
bool directMatches(OpenDrive& drive, int fd)
{
    CdIo_t* cdio = drive.cdio.get();
    const track_t first = cdio_get_first_track_num(cdio);
    const track_t count = cdio_get_num_tracks(cdio);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK)
        return false;
    std::array<uint8_t, CdSectorBytes> viaLibrary{}, viaFile{};
    bool sound = false;
    for (int t = first; t < first + count; ++t) {
        if (cdio_get_track_format(cdio, track_t(t)) != TRACK_FORMAT_AUDIO)
            continue;
        const lsn_t start = cdio_get_track_lsn(cdio, track_t(t));
        const lsn_t end = t + 1 < first + count ? cdio_get_track_lsn(cdio, track_t(t + 1))
                                                : cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK);
        if (start == CDIO_INVALID_LSN || end == CDIO_INVALID_LSN || end <= start)
            return false;
        for (const lsn_t lsn : {start, lsn_t(start + (end - start) / 2), lsn_t(end - 1)}) {
            if (cdio_read_audio_sectors(cdio, viaLibrary.data(), lsn, 1) != DRIVER_OP_SUCCESS
                || !preadWhole(fd, viaFile.data(), viaFile.size(), off_t(lsn) * CdSectorBytes)
                || viaLibrary != viaFile)
                return false;
            sound = sound || std::any_of(viaFile.begin(), viaFile.end(), [&](uint8_t b) { return b != viaFile[0]; });
        }
    }
    return sound;
}

struct LibraryState {
    std::mutex mutex;  // guards drives and handles (not the drives' own calls)
    std::vector<CdDrive> drives;  // latest GetCDList
    bool listed = false;
    std::array<std::shared_ptr<OpenDrive>, MaxCdHandles> handles;
};

LibraryState& state()
{
    static LibraryState s;
    return s;
}

thread_local int lastError = AlNoError;
thread_local QString lastErrorText;

int succeed()
{
    lastError = AlNoError;
    lastErrorText.clear();
    return 1;
}

int failWith(int code, const QString& text)
{
    lastError = code;
    lastErrorText = text;
    return 0;
}

std::shared_ptr<OpenDrive> lookup(int handle)
{
    if (handle < 1 || handle > MaxCdHandles)
        return {};
    LibraryState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.handles[std::size_t(handle - 1)];
}

std::vector<CdDrive> listedDrives()
{
    std::vector<CdDrive> drives = ListCdDrives();
    if (drives.size() > std::size_t(CdListMaxEntries))
        drives.resize(std::size_t(CdListMaxEntries));
    return drives;
}

}  // namespace

int GetCDList(std::span<uint8_t, CdListSize> list)
{
    const uint8_t capacity = list[0];
    std::vector<CdDrive> drives = listedDrives();
    CdList out;
    out.capacity = capacity;
    for (std::size_t i = 0; i < drives.size() && i < capacity; ++i) {
        CdListEntry e;
        e.adapter = 0;
        e.target = uint8_t(i);
        e.lun = 0;
        // Vendor names fill their 8 characters with blanks, as drives report
        // them, so that vendor followed by product reads as two words.
        e.vendor = drives[i].vendor.isEmpty() ? QString() : drives[i].vendor.left(8).leftJustified(8, ' ');
        e.product = drives[i].product;
        out.entries.push_back(e);
    }
    EncodeCdList(out, list);
    LibraryState& s = state();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.drives = std::move(drives);
        s.listed = true;
    }
    succeed();
    return int(out.entries.size());
}

QString DriveListPath(int position)
{
    LibraryState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (position < 0 || std::size_t(position) >= s.drives.size())
        return {};
    return s.drives[std::size_t(position)].path;
}

int GetCDHandle(std::span<const uint8_t, OpenRequestSize> request)
{
    const std::optional<OpenRequest> req = DecodeOpenRequest(request);
    if (!req)
        return failWith(AlBadRecord, QStringLiteral("the open request's size field is not 12"));
    LibraryState& s = state();
    QString path;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.listed) {
            s.drives = listedDrives();
            s.listed = true;
        }
        if (req->adapter != 0 || req->lun != 0 || req->target >= s.drives.size())
            return failWith(AlNoSuchDrive, QStringLiteral("no drive at adapter %1, target %2, LUN %3")
                                               .arg(req->adapter)
                                               .arg(req->target)
                                               .arg(req->lun));
        path = s.drives[req->target].path;
    }
    auto drive = std::make_shared<OpenDrive>();
    drive->path = path;
    drive->cdio = OpenCdio(path);
    if (!drive->cdio)
        return failWith(AlOpenFailed, QStringLiteral("cannot open %1").arg(path));
    std::lock_guard<std::mutex> lock(s.mutex);
    for (std::size_t i = 0; i < s.handles.size(); ++i) {
        if (!s.handles[i]) {
            s.handles[i] = std::move(drive);
            succeed();
            return int(i) + 1;
        }
    }
    return failWith(AlNoFreeHandle, QStringLiteral("all %1 drive handles are in use").arg(MaxCdHandles));
}

int CloseCDHandle(int handle)
{
    std::shared_ptr<OpenDrive> closed;  // released outside the table lock
    {
        LibraryState& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (handle < 1 || handle > MaxCdHandles || !s.handles[std::size_t(handle - 1)])
            return failWith(AlBadHandle, QStringLiteral("handle %1 is not open").arg(handle));
        closed = std::move(s.handles[std::size_t(handle - 1)]);
    }
    return succeed();
}

int ModifyCDParms(int handle, int parameter, uint32_t value)
{
    std::shared_ptr<OpenDrive> drive = lookup(handle);
    if (!drive)
        return failWith(AlBadHandle, QStringLiteral("handle %1 is not open").arg(handle));
    if (parameter != CdParmMsf)
        return failWith(AlBadParameter, QStringLiteral("unknown drive parameter %1").arg(parameter));
    std::lock_guard<std::mutex> lock(drive->mutex);
    drive->msf = value != 0;
    return succeed();
}

int ReadTOC(int handle, std::span<uint8_t, TocSize> toc)
{
    std::shared_ptr<OpenDrive> drive = lookup(handle);
    if (!drive)
        return failWith(AlBadHandle, QStringLiteral("handle %1 is not open").arg(handle));
    std::lock_guard<std::mutex> lock(drive->mutex);
    // libcdio reads the table of contents once per object; reopening sees a
    // disc that was changed since the handle was opened, and a disc (or
    // image) that went away is no longer read from what was held open.
    CdioPtr fresh = OpenCdio(drive->path);
    if (!fresh) {
        std::fill(toc.begin(), toc.end(), uint8_t(0));
        const QString why = CdDeviceProblem(drive->path);
        return failWith(AlNoDisc, why.isEmpty() ? QStringLiteral("no readable disc in %1").arg(drive->path) : why);
    }
    drive->cdio = std::move(fresh);
    drive->direct.reset();
    drive->directLooked = false;
    const std::optional<DiscLayout> layout = ReadDiscLayout(drive->cdio.get());
    if (!layout) {
        std::fill(toc.begin(), toc.end(), uint8_t(0));
        return failWith(AlNoDisc, QStringLiteral("no readable disc in %1").arg(drive->path));
    }
    QString why;
    if (!EncodeToc(*layout, drive->msf, toc, &why))
        return failWith(AlBadToc, why);
    return succeed();
}

int ReadCDAudioLBA(int handle, std::span<uint8_t> buffer)
{
    const std::optional<ReadBufferHeader> decoded = DecodeReadBufferHeader(buffer);
    if (!decoded)
        return failWith(AlBadRecord, QStringLiteral("the read buffer is shorter than its header"));
    ReadBufferHeader h = *decoded;
    std::shared_ptr<OpenDrive> drive = lookup(handle);
    if (!drive)
        return failWith(AlBadHandle, QStringLiteral("handle %1 is not open").arg(handle));
    const uint64_t bytes = uint64_t(h.sectorCount) * CdSectorBytes;
    const uint64_t room = buffer.size() - ReadBufferHeaderSize;
    if (h.sectorCount == 0 || bytes > h.capacity || h.capacity > room) {
        h.bytesReturned = 0;
        h.status = ReadStatusError;
        EncodeReadBufferHeader(h, buffer);
        return failWith(AlBadRecord, QStringLiteral("the read buffer cannot hold %1 sectors").arg(h.sectorCount));
    }
    driver_return_code_t rc;
    {
        std::lock_guard<std::mutex> lock(drive->mutex);
        // Never read past the lead-out: images would run off their data file.
        const lsn_t leadOut = cdio_get_track_lsn(drive->cdio.get(), CDIO_CDROM_LEADOUT_TRACK);
        if (!drive->directLooked) {
            drive->directLooked = true;
            UniqueFd fd = cueDataFile(drive->path);
            struct stat st {};
            if (fd && ::fstat(fd.get(), &st) == 0
                && (sameFile(st, drive->matched) || directMatches(*drive, fd.get()))) {
                drive->matched = st;
                drive->direct = std::move(fd);
            }
        }
        if (leadOut == CDIO_INVALID_LSN || uint64_t(h.startSector) + h.sectorCount > uint64_t(leadOut))
            rc = DRIVER_OP_BAD_PARAMETER;
        else if (drive->direct && preadWhole(drive->direct.get(), buffer.data() + ReadBufferHeaderSize, size_t(bytes),
                                             off_t(h.startSector) * CdSectorBytes))
            rc = DRIVER_OP_SUCCESS;
        else
            rc = cdio_read_audio_sectors(drive->cdio.get(), buffer.data() + ReadBufferHeaderSize,
                                     lsn_t(h.startSector), h.sectorCount);
    }
    h.dataOffset = 0;
    if (rc != DRIVER_OP_SUCCESS) {
        h.bytesReturned = 0;
        h.status = ReadStatusError;
        EncodeReadBufferHeader(h, buffer);
        return failWith(AlReadFailed, QStringLiteral("cannot read %1 sectors from sector %2 of %3")
                                          .arg(h.sectorCount)
                                          .arg(h.startSector)
                                          .arg(drive->path));
    }
    h.bytesReturned = uint32_t(bytes);
    h.status = ReadStatusDone;
    EncodeReadBufferHeader(h, buffer);
    return succeed();
}

bool IsImageHandle(int handle)
{
    const std::shared_ptr<OpenDrive> drive = lookup(handle);
    return drive && !isDevice(drive->path);
}

int GetAspiLibError() { return lastError; }

QString GetAspiLibErrorText() { return lastErrorText; }

void SetAspiLibError(int code, const QString& text)
{
    lastError = code;
    lastErrorText = code == AlNoError ? QString() : text;
}

}  // namespace dw
