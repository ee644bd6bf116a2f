#pragma once
// Reads one range of audio sectors from a drive or CD image for the ripper
// library: straight sector reads, or through libcdio-paranoia when jitter
// correction is on. Owns every libcdio handle it opens.

#include "cd/RipperLibrary.h"

#include <QString>

#include <cstdint>
#include <memory>

struct _CdIo;
struct cdrom_drive_s;
struct cdrom_paranoia_s;

namespace dw {

class RipperRangeReader {
public:
    // Opens the device and prepares to read sectors [start, end). Null (with
    // error set) when the device cannot be opened for audio reading.
    static std::unique_ptr<RipperRangeReader> open(const QString& device, const TRipperDriveParams& params,
                                                   int32_t start, int32_t end, QString* error);
    ~RipperRangeReader();
    RipperRangeReader(const RipperRangeReader&) = delete;
    RipperRangeReader& operator=(const RipperRangeReader&) = delete;

    // Reads up to maxSectors whole sectors into buffer. Returns the sectors
    // delivered, 0 at the end of the range, -1 when the range cannot be read
    // further (every later call gives -1 too).
    int read(uint8_t* buffer, int maxSectors);

    int32_t nextSector() const { return next_; }
    bool failed() const { return failed_; }

private:
    RipperRangeReader() = default;
    int readDirect(uint8_t* buffer, int sectors);
    int readParanoia(uint8_t* buffer, int sectors);
    bool readRaw(uint8_t* buffer, int32_t lsn, int sectors);

    struct CdioDeleter { void operator()(_CdIo* p) const; };
    struct DriveDeleter { void operator()(cdrom_drive_s* p) const; };
    struct ParanoiaDeleter { void operator()(cdrom_paranoia_s* p) const; };

    std::unique_ptr<_CdIo, CdioDeleter> cdio_;
    // Members are destroyed in reverse order: paranoia, then drive, then cdio.
    std::unique_ptr<cdrom_drive_s, DriveDeleter> drive_;
    std::unique_ptr<cdrom_paranoia_s, ParanoiaDeleter> paranoia_;
    TRipperDriveParams params_;
    std::unique_ptr<uint8_t[]> verify_;  // second buffer for multi-read comparison
    int verifyCapacity_ = 0;
    int32_t next_ = 0;
    int32_t end_ = 0;
    bool failed_ = false;
    bool trayLocked_ = false;
};

}  // namespace dw
