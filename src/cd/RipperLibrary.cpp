#include "cd/RipperLibrary.h"

#include "cd/RipperReader.h"
#include "platform/CdDrives.h"
#include "platform/IniFile.h"
#include "platform/Paths.h"

#include <cdio/cdio.h>

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace dw {

namespace {

// Everything the library holds. One instance per process; its destructor
// closes an open range (and with it every libcdio handle).
struct RipperState {
    std::recursive_mutex mutex;
    bool initialised = false;
    QStringList devices;
    QStringList names;
    std::vector<TRipperDriveParams> params;  // one block per drive
    int active = 0;
    TRipperDriveParams block;                // handed out by CR_GetStructPointer
    std::vector<TRipperTocEntry> toc;        // tracks, then the lead-out
    std::unique_ptr<RipperRangeReader> reader;
    int chunkSectors = 0;

    QString activeDevice() const
    {
        return active >= 0 && active < devices.size() ? devices.at(active) : QString();
    }
};

RipperState& state()
{
    static RipperState s;
    return s;
}

void initialise(RipperState& s)
{
    s.reader.reset();
    s.devices.clear();
    s.names.clear();
    for (const CdDrive& d : ListCdDrives()) {
        s.devices << d.path;
        s.names << (d.vendor + QLatin1Char(' ') + d.product).simplified();
    }
    s.params.assign(size_t(s.devices.size()), TRipperDriveParams{});
    s.toc.clear();
    if (s.active < 0 || s.active >= s.devices.size())
        s.active = 0;
    s.initialised = true;
}

// Entry points called before CR_Init (or after CR_DeInit) load the library first.
RipperState& ready()
{
    RipperState& s = state();
    if (!s.initialised)
        initialise(s);
    return s;
}

CdioPtr openDevice(const QString& device)
{
    return device.isEmpty() ? CdioPtr() : OpenCdio(device);
}

void copyName(TRipperDriveParams* p, const QString& name)
{
    const QByteArray bytes = name.toUtf8();
    const size_t n = std::min<size_t>(size_t(bytes.size()), TRipperDriveParams::DriveIdSize - 1);
    std::memcpy(p->DriveId, bytes.constData(), n);
    p->DriveId[n] = '\0';
}

QString WithSlash(const QString& folder)
{
    return folder.isEmpty() || folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

}  // namespace

int CR_Init(int)
{
    RipperState& s = state();
    std::lock_guard lock(s.mutex);
    if (!cdio_init())
        return 1;
    initialise(s);
    return 0;
}

void CR_DeInit()
{
    RipperState& s = state();
    std::lock_guard lock(s.mutex);
    s.reader.reset();
    s.toc.clear();
    s.devices.clear();
    s.names.clear();
    s.params.clear();
    s.initialised = false;
}

int CR_GetNumCDROM()
{
    std::lock_guard lock(state().mutex);
    return int(ready().devices.size());
}

void CR_SetActiveCDROM(int index)
{
    std::lock_guard lock(state().mutex);
    RipperState& s = ready();
    if (index >= 0 && index < s.devices.size() && index != s.active) {
        s.active = index;
        s.toc.clear();
    }
}

int CR_GetActiveCDROM()
{
    std::lock_guard lock(state().mutex);
    return ready().active;
}

TRipperDriveParams* CR_GetStructPointer()
{
    std::lock_guard lock(state().mutex);
    return &ready().block;
}

int CR_GetCDROMParameters(TRipperDriveParams* params)
{
    if (!params)
        return 1;
    std::lock_guard lock(state().mutex);
    RipperState& s = ready();
    if (s.active < 0 || size_t(s.active) >= s.params.size()) {
        *params = TRipperDriveParams{};
        return 1;
    }
    *params = s.params[size_t(s.active)];
    copyName(params, s.names.value(s.active));
    return 0;
}

int CR_SetCDROMParameters(TRipperDriveParams* params)
{
    if (!params)
        return 1;
    std::lock_guard lock(state().mutex);
    RipperState& s = ready();
    if (s.active < 0 || size_t(s.active) >= s.params.size())
        return 1;
    TRipperDriveParams& stored = s.params[size_t(s.active)];
    stored = *params;
    stored.ReadSectors = std::clamp(stored.ReadSectors, 0, 75);
    stored.OverlapSectors = std::max(stored.OverlapSectors, 0);
    stored.CompareSectors = std::max(stored.CompareSectors, 0);
    stored.MultiReadCount = std::clamp(stored.MultiReadCount, 0, 16);
    return 0;
}

const char* CR_GetDriveID(const TRipperDriveParams* params)
{
    return params ? params->DriveId : "";
}

int CR_GetJitterCorrection(const TRipperDriveParams* params) { return params && params->JitterCorrection ? 1 : 0; }
void CR_SetJitterCorrection(TRipperDriveParams* params, bool on) { if (params) params->JitterCorrection = on; }
void CR_SetEnableMultiRead(TRipperDriveParams* params, bool on) { if (params) params->EnableMultiRead = on; }
void CR_SetParanoidMode(TRipperDriveParams* params, bool on) { if (params) params->Paranoid = on; }
void CR_LockCDTrayWhileRipping(TRipperDriveParams* params, bool on) { if (params) params->LockTray = on; }
void CR_SetReadSectors(TRipperDriveParams* params, int32_t n) { if (params) params->ReadSectors = n; }
void CR_SetOverlapSectors(TRipperDriveParams* params, int32_t n) { if (params) params->OverlapSectors = n; }
void CR_SetCompareSectors(TRipperDriveParams* params, int32_t n) { if (params) params->CompareSectors = n; }
void CR_SetMultiReadCount(TRipperDriveParams* params, int32_t n) { if (params) params->MultiReadCount = n; }
void CR_SetParanoiaMode(TRipperDriveParams* params, int32_t mode) { if (params) params->ParanoiaMode = mode; }

int CR_IsMediaLoaded(int32_t& status)
{
    std::lock_guard lock(state().mutex);
    RipperState& s = ready();
    status = 1;
    const QString device = s.activeDevice();
    if (device.isEmpty())
        return 1;
    CdioPtr cdio = openDevice(device);
    if (!cdio)
        return 0;
    const track_t n = cdio_get_num_tracks(cdio.get());
    if (n != CDIO_INVALID_TRACK && n >= 1)
        status = 0;
    return 0;
}

int CR_ReadToc()
{
    std::lock_guard lock(state().mutex);
    RipperState& s = ready();
    s.toc.clear();
    CdioPtr cdio = openDevice(s.activeDevice());
    if (!cdio)
        return 1;
    const track_t first = cdio_get_first_track_num(cdio.get());
    const track_t count = cdio_get_num_tracks(cdio.get());
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count < 1 || first < 1
        || int(first) + int(count) - 1 > 99)
        return 1;
    std::vector<TRipperTocEntry> toc;
    int32_t previous = -1;
    for (int t = first; t <= int(first) + int(count); ++t) {
        const bool leadOut = t == int(first) + int(count);
        const track_t number = leadOut ? track_t(CDIO_CDROM_LEADOUT_TRACK) : track_t(t);
        const lsn_t lsn = cdio_get_track_lsn(cdio.get(), number);
        // Start sectors must exist and never go backwards.
        if (lsn == CDIO_INVALID_LSN || lsn < 0 || lsn < previous)
            return 1;
        previous = lsn;
        TRipperTocEntry e;
        e.StartSector = lsn;
        e.TrackNumber = uint8_t(number);
        if (!leadOut && cdio_get_track_format(cdio.get(), number) != TRACK_FORMAT_AUDIO)
            e.Flags = RipperDataTrackFlag;
        toc.push_back(e);
    }
    s.toc = std::move(toc);
    return 0;
}

int CR_GetNumTocEntries()
{
    std::lock_guard lock(state().mutex);
    const RipperState& s = ready();
    return s.toc.empty() ? 0 : int(s.toc.size()) - 1;
}

TRipperTocEntry CR_GetTocEntry(int index)
{
    std::lock_guard lock(state().mutex);
    const RipperState& s = ready();
    if (index < 0 || size_t(index) >= s.toc.size())
        return {};
    return s.toc[size_t(index)];
}

int CR_OpenRipper(int32_t& bufferSize, int32_t startSector, int32_t endSector)
{
    std::lock_guard lock(state().mutex);
    RipperState& s = ready();
    s.reader.reset();
    s.chunkSectors = 0;
    if (bufferSize < RipperSectorBytes || startSector < 0 || endSector < startSector)
        return 1;
    if (s.active < 0 || size_t(s.active) >= s.params.size())
        return 1;
    // Never read past the lead-out of the table of contents last read.
    if (!s.toc.empty())
        endSector = std::min(endSector, s.toc.back().StartSector);
    endSector = std::max(endSector, startSector);
    s.chunkSectors = bufferSize / RipperSectorBytes;
    bufferSize = s.chunkSectors * RipperSectorBytes;
    s.reader = RipperRangeReader::open(s.activeDevice(), s.params[size_t(s.active)], startSector, endSector, nullptr);
    return s.reader ? 0 : 1;
}

int CR_RipChunk(uint8_t* buffer, int32_t& bytes, bool abort)
{
    std::lock_guard lock(state().mutex);
    RipperState& s = ready();
    bytes = 0;
    if (!s.reader || !buffer)
        return 1;
    if (abort) {
        s.reader.reset();
        return 1;
    }
    const int n = s.reader->read(buffer, s.chunkSectors);
    if (n < 0)
        return 1;
    bytes = n * RipperSectorBytes;
    return 0;
}

int CR_CloseRipper()
{
    std::lock_guard lock(state().mutex);
    state().reader.reset();
    return 0;
}

QStringList RipperDriveList()
{
    std::lock_guard lock(state().mutex);
    return ready().devices;
}

QString RipperIniFolder()
{
    QString folder = UserAppDataFolder();
    if (folder.isEmpty())
        folder = ProgramFolder();
    return WithSlash(folder);
}

bool WriteCdrIni(const QString& folder)
{
    QDir().mkpath(folder);
    IniFile ini(WithSlash(folder) + QStringLiteral("cdr.ini"));
    ini.writeString(QStringLiteral("CD-ROM"), QStringLiteral("nActive"), QStringLiteral("0"));
    // nTransportLayer names a Windows transport (0 for the 95 family, 1 for
    // NT); neither applies here, so the key is not written.
    return ini.save();
}

int LoadRipperLibrary()
{
    static const int result = [] {
        WriteCdrIni(RipperIniFolder());
        return CR_Init(1);
    }();
    return result;
}

}  // namespace dw
