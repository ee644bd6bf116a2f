#include "cd/RipperReader.h"

#include <cdio/cdio.h>
#include <cdio/mmc_ll_cmds.h>
#include <cdio/paranoia/cdda.h>
#include <cdio/paranoia/paranoia.h>

#include "platform/CdDrives.h"
#include "platform/NativePath.h"


#include <algorithm>
#include <cstdio>
#include <cstring>

namespace dw {

namespace {

// What paranoia reported while producing the current sector. Its callback has
// no user pointer; each reader thread reads one range at a time.
struct ParanoiaEvents {
    bool readError = false;
    bool skipped = false;
};
thread_local ParanoiaEvents tlEvents;

void paranoiaCallback(long, paranoia_cb_mode_t mode)
{
    if (mode == PARANOIA_CB_READERR)
        tlEvents.readError = true;
    else if (mode == PARANOIA_CB_SKIP)
        tlEvents.skipped = true;
}

int paranoiaFlags(const TRipperDriveParams& p)
{
    int flags;
    switch (p.ParanoiaMode) {
    case 0: flags = PARANOIA_MODE_FULL ^ PARANOIA_MODE_NEVERSKIP; break;
    case 1: flags = PARANOIA_MODE_OVERLAP; break;
    case 2: flags = PARANOIA_MODE_VERIFY | PARANOIA_MODE_OVERLAP; break;
    default: flags = PARANOIA_MODE_DISABLE; break;
    }
    if (p.Paranoid && flags != PARANOIA_MODE_DISABLE)
        flags |= PARANOIA_MODE_NEVERSKIP;
    return flags;
}

// Retries of one sector before paranoia gives up on it (bounded even in
// paranoid mode so that a bad disc never hangs the reader).
int paranoiaRetries(const TRipperDriveParams& p)
{
    return p.Paranoid ? 40 : 20;
}

bool isImagePath(const QString& device)
{
    return !device.startsWith(QLatin1String("/dev/")) && IsRegularFile(device);
}

}  // namespace

void RipperRangeReader::CdioDeleter::operator()(_CdIo* p) const { cdio_destroy(p); }
void RipperRangeReader::DriveDeleter::operator()(cdrom_drive_s* p) const { cdio_cddap_close_no_free_cdio(p); }
void RipperRangeReader::ParanoiaDeleter::operator()(cdrom_paranoia_s* p) const { cdio_paranoia_free(p); }

std::unique_ptr<RipperRangeReader> RipperRangeReader::open(const QString& device, const TRipperDriveParams& params,
                                                           int32_t start, int32_t end, QString* error)
{
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return std::unique_ptr<RipperRangeReader>();
    };
    if (start < 0 || end < start)
        return fail(QStringLiteral("invalid sector range"));
    std::unique_ptr<RipperRangeReader> r(new RipperRangeReader);
    r->params_ = params;
    r->next_ = start;
    r->end_ = end;
    r->cdio_.reset(OpenCdio(device).release());
    if (!r->cdio_)
        return fail(QStringLiteral("cannot open %1").arg(device));

    if (params.JitterCorrection && paranoiaFlags(params) != PARANOIA_MODE_DISABLE) {
        r->drive_.reset(cdio_cddap_identify_cdio(r->cdio_.get(), CDDA_MESSAGE_FORGETIT, nullptr));
        if (!r->drive_)
            return fail(QStringLiteral("cannot identify %1 for audio reading").arg(device));
        cdio_cddap_verbose_set(r->drive_.get(), CDDA_MESSAGE_FORGETIT, CDDA_MESSAGE_FORGETIT);
        if (cdio_cddap_open(r->drive_.get()) != 0)
            return fail(QStringLiteral("cannot open %1 for audio reading").arg(device));
        // Samples arrive little-endian, as from an MMC drive or a .bin image;
        // fixing it here spares the byte-order guess, which can misjudge
        // quiet or synthetic audio.
        r->drive_->bigendianp = 0;
        r->paranoia_.reset(cdio_paranoia_init(r->drive_.get()));
        if (!r->paranoia_)
            return fail(QStringLiteral("cannot start paranoia on %1").arg(device));
        cdio_paranoia_modeset(r->paranoia_.get(), paranoiaFlags(params));
        if (params.OverlapSectors > 0)
            cdio_paranoia_overlapset(r->paranoia_.get(), params.OverlapSectors);
        if (end > start) {
            cdio_paranoia_seek(r->paranoia_.get(), start, SEEK_SET);
            cdio_paranoia_set_range(r->paranoia_.get(), start, end - 1);
        }
    }
    if (params.LockTray && !isImagePath(device))
        r->trayLocked_ = mmc_prevent_allow_medium_removal(r->cdio_.get(), false, true, 0) == DRIVER_OP_SUCCESS;
    return r;
}

RipperRangeReader::~RipperRangeReader()
{
    if (trayLocked_ && cdio_)
        mmc_prevent_allow_medium_removal(cdio_.get(), false, false, 0);
}

int RipperRangeReader::read(uint8_t* buffer, int maxSectors)
{
    if (failed_)
        return -1;
    const int n = std::min<int64_t>(maxSectors, int64_t(end_) - next_);
    if (n <= 0)
        return 0;
    const int got = paranoia_ ? readParanoia(buffer, n) : readDirect(buffer, n);
    if (got < 0)
        failed_ = true;
    else
        next_ += got;
    return got;
}

bool RipperRangeReader::readRaw(uint8_t* buffer, int32_t lsn, int sectors)
{
    // Drives take limited transfers; read in pieces of ReadSectors.
    const int piece = params_.ReadSectors > 0 ? params_.ReadSectors : 26;
    for (int done = 0; done < sectors;) {
        const int k = std::min(piece, sectors - done);
        bool ok = false;
        for (int attempt = 0; attempt < 3 && !ok; ++attempt)
            ok = cdio_read_audio_sectors(cdio_.get(), buffer + size_t(done) * RipperSectorBytes, lsn + done, k)
                 == DRIVER_OP_SUCCESS;
        if (!ok)
            return false;
        done += k;
    }
    return true;
}

int RipperRangeReader::readDirect(uint8_t* buffer, int sectors)
{
    if (!readRaw(buffer, next_, sectors))
        return -1;
    if (params_.EnableMultiRead && params_.MultiReadCount > 0) {
        // Read again until two consecutive reads agree, at most MultiReadCount
        // more times; the last read stands when none agree.
        const int bytes = sectors * RipperSectorBytes;
        if (verifyCapacity_ < bytes) {
            verify_ = std::make_unique<uint8_t[]>(size_t(bytes));
            verifyCapacity_ = bytes;
        }
        for (int i = 0; i < params_.MultiReadCount; ++i) {
            if (!readRaw(verify_.get(), next_, sectors))
                return -1;
            const bool same = std::memcmp(verify_.get(), buffer, size_t(bytes)) == 0;
            std::memcpy(buffer, verify_.get(), size_t(bytes));
            if (same)
                break;
        }
    }
    return sectors;
}

int RipperRangeReader::readParanoia(uint8_t* buffer, int sectors)
{
    for (int i = 0; i < sectors; ++i) {
        tlEvents = {};
        const int16_t* data = cdio_paranoia_read_limited(paranoia_.get(), paranoiaCallback, paranoiaRetries(params_));
        // A sector paranoia skipped after hard read errors holds no audio
        // from the disc: the range cannot go on.
        if (!data || (tlEvents.readError && tlEvents.skipped))
            return -1;
        std::memcpy(buffer + size_t(i) * RipperSectorBytes, data, RipperSectorBytes);
    }
    return sectors;
}

}  // namespace dw
