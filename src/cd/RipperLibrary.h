#pragma once
// The ripper library: the CR_ entry points the CD input component calls,
// built on libcdio and libcdio-paranoia. It keeps its own ordered drive list
// (the same drives, in the same order, as the drive library sees), a drive
// parameter block per drive, the table of contents of the active drive, and
// one open ripping range.
//
// The library exists once per process and is "loaded" on first use; it is
// released when the process ends. Every entry point may be called from any
// thread: the library serialises them internally. A chunk read holds that
// lock, so a query from another thread waits at most one chunk.
//
// Results follow the library's convention: 0 is success for CR_Init,
// CR_ReadToc, CR_OpenRipper, CR_RipChunk and CR_CloseRipper.

#include <QString>
#include <QStringList>

#include <cstdint>

namespace dw {

// The drive parameter block. CR_GetCDROMParameters fills it from the active
// drive, the CR_Set... functions store values in it, CR_SetCDROMParameters
// applies it to the active drive.
struct TRipperDriveParams {
    static constexpr int DriveIdSize = 128;
    char DriveId[DriveIdSize] = {};  // NUL-terminated drive name
    bool JitterCorrection = true;    // read through paranoia (overlap/verify)
    int32_t ReadSectors = 26;        // sectors per drive read (direct reads)
    int32_t OverlapSectors = 0;      // paranoia overlap in sectors, 0 = its own choice
    int32_t CompareSectors = 0;      // kept for the caller; the reader does not use it
    bool EnableMultiRead = false;    // read each chunk until two reads agree
    int32_t MultiReadCount = 0;      // most extra reads per chunk
    bool Paranoid = false;           // never accept a skipped sector while retries remain
    int32_t ParanoiaMode = 0;        // 0 verify+overlap, 1 overlap, 2 verify, 3 and above none
    bool LockTray = false;           // lock the tray while a range is open
};

// A table-of-contents entry as the library hands it out (8 bytes by value).
struct TRipperTocEntry {
    int32_t StartSector = 0;  // logical sector (lead-in not counted)
    uint8_t Flags = 0;        // 4 = data track
    uint8_t TrackNumber = 0;  // 0xAA for the lead-out
};

constexpr uint8_t RipperDataTrackFlag = 4;
constexpr int RipperSectorBytes = 2352;

// Entry points.
int CR_Init(int flag);
void CR_DeInit();
int CR_GetNumCDROM();
void CR_SetActiveCDROM(int index);
int CR_GetActiveCDROM();
TRipperDriveParams* CR_GetStructPointer();
int CR_GetCDROMParameters(TRipperDriveParams* params);
int CR_SetCDROMParameters(TRipperDriveParams* params);
const char* CR_GetDriveID(const TRipperDriveParams* params);
int CR_GetJitterCorrection(const TRipperDriveParams* params);
void CR_SetJitterCorrection(TRipperDriveParams* params, bool on);
void CR_SetEnableMultiRead(TRipperDriveParams* params, bool on);
void CR_SetParanoidMode(TRipperDriveParams* params, bool on);
void CR_LockCDTrayWhileRipping(TRipperDriveParams* params, bool on);
void CR_SetReadSectors(TRipperDriveParams* params, int32_t n);
void CR_SetOverlapSectors(TRipperDriveParams* params, int32_t n);
void CR_SetCompareSectors(TRipperDriveParams* params, int32_t n);
void CR_SetMultiReadCount(TRipperDriveParams* params, int32_t n);
void CR_SetParanoiaMode(TRipperDriveParams* params, int32_t mode);
// Returns 0 when the question could be asked; status is 0 when a disc is present.
int CR_IsMediaLoaded(int32_t& status);
int CR_ReadToc();
int CR_GetNumTocEntries();
// Entry index from 0; index CR_GetNumTocEntries() is the lead-out. Outside the
// table: an all-zero entry.
TRipperTocEntry CR_GetTocEntry(int index);
// Opens [start, end) of the active drive. bufferSize in: the caller's buffer in
// bytes; out: the most bytes one CR_RipChunk will deliver (whole sectors).
int CR_OpenRipper(int32_t& bufferSize, int32_t startSector, int32_t endSector);
// Delivers the next bytes of the range into buffer (at most bufferSize bytes as
// agreed by CR_OpenRipper). bytes is 0 at the end of the range and whenever the
// range cannot be read further (the result is then non-zero).
int CR_RipChunk(uint8_t* buffer, int32_t& bytes, bool abort);
int CR_CloseRipper();

// Besides the entry points: the device paths of the library's drive list, as
// read at the last CR_Init (the ordered list of platform/CdDrives.h).
QStringList RipperDriveList();

// What the CD input component runs once at start-up: writes cdr.ini into the
// per-user application-data folder (the program folder when that cannot be
// named) and initialises the library. Returns the CR_Init result; a non-zero
// result is for the caller to report. Later calls only return the first result.
int LoadRipperLibrary();
// Writes cdr.ini into folder (created when missing); false when it cannot be written.
bool WriteCdrIni(const QString& folder);
// The folder LoadRipperLibrary writes cdr.ini into, with a trailing "/".
QString RipperIniFolder();

}  // namespace dw
