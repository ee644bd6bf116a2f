#pragma once
// The drive library: drive list, drive handles, table of contents and raw
// audio sector reads over libcdio. Callers exchange fixed byte records with it
// (cd/DriveRecords.h).
//
// Thread rules: every function may be called from any thread. A handle may be
// used by one thread while another closes it; the close takes effect after the
// running call. GetAspiLibError reports the last failure of the calling thread.

#include "cd/DriveRecords.h"

#include <QString>

#include <cstdint>
#include <span>

namespace dw {

// ---- Operations --------------------------------------------------------------
// Parameter of ModifyCDParms that switches tables of contents to
// minute-second-frame addresses (value non-zero) or sector numbers (0).
constexpr int CdParmMsf = 36;

// Last failure codes reported by GetAspiLibError.
enum AspiLibError : int {
    AlNoError = 0,
    AlBadRecord = 1,       // a record's size field or contents are wrong
    AlNoSuchDrive = 2,     // adapter/target/LUN name no listed drive
    AlOpenFailed = 3,      // libcdio could not open the drive or image
    AlNoFreeHandle = 4,    // all handles are in use
    AlBadHandle = 5,       // the handle is not open
    AlBadParameter = 6,    // ModifyCDParms: unknown parameter
    AlNoDisc = 7,          // no readable disc in the drive
    AlBadToc = 8,          // more than 99 tracks, or addresses out of order
    AlReadFailed = 9,      // the sectors could not be read
    AlCddbNoMatch = 10,    // CDDBQuery: the server knows no entry for the disc
    AlCddbFailed = 11,     // CDDB: the request or the server failed
    AlCddbStopped = 12,    // CDDB: the request was stopped
};

// Fills the list: physical drives, then images (capacity limits the count,
// at most 8). Returns the count. Drive n gets adapter 0, target n, LUN 0.
int GetCDList(std::span<uint8_t, CdListSize> list);
// Opens the drive of the request (from the latest GetCDList); handle 1..10, or 0.
int GetCDHandle(std::span<const uint8_t, OpenRequestSize> request);
// Non-zero when the handle was open and is now closed.
int CloseCDHandle(int handle);
// Sets a drive parameter of the handle; non-zero when done. Only CdParmMsf is
// known. A new handle starts with sector-number addresses.
int ModifyCDParms(int handle, int parameter, uint32_t value);
// Reads the disc's table of contents (fresh from the drive) into the record;
// 1 when read.
int ReadTOC(int handle, std::span<uint8_t, TocSize> toc);
// Reads the sectors the header asks for into the data area; 1 when read, with
// bytes returned, status and data offset set. The header's capacity must be at
// least count x 2352 and fit in the buffer.
int ReadCDAudioLBA(int handle, std::span<uint8_t> buffer);
// True when the handle reads an image file rather than a drive (large reads
// cost an image nothing).
bool IsImageHandle(int handle);
// The last failure of this thread (AspiLibError), 0 after a success.
int GetAspiLibError();
// A plain English description of the last failure of this thread.
QString GetAspiLibErrorText();
// Records the outcome of a call of this thread (the CDDB functions report
// through the same two functions): AlNoError clears the text.
void SetAspiLibError(int code, const QString& text = {});

// The device or image path behind drive position n of the latest GetCDList;
// empty when there is none.
QString DriveListPath(int position);

// Maximum number of handles open at once.
constexpr int MaxCdHandles = 10;

}  // namespace dw
