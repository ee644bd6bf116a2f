#include "platform/CdDrives.h"

#include "platform/NativePath.h"
#include "platform/CueSheet.h"
#include "platform/Paths.h"
#include "platform/TocSheet.h"

#include <QFileInfo>

#include <cdio/cdio.h>
#include <cdio/device.h>
#include <cdio/disc.h>
#include <cdio/logging.h>
#include <cdio/track.h>

#include <algorithm>
#include <mutex>
#include <sys/stat.h>

namespace dw {

namespace {

// libcdio prints warnings about unreadable images and devices on stderr; the
// program reports such failures itself, so its messages are dropped.
void dropCdioLog(cdio_log_level_t, const char[]) {}

void quietCdio()
{
    static std::once_flag once;
    std::call_once(once, [] { cdio_log_set_handler(dropCdioLog); });
}

std::mutex explicitMutex;
QStringList explicitDevices;

QStringList currentExplicitDevices()
{
    std::lock_guard<std::mutex> lock(explicitMutex);
    return explicitDevices;
}

bool isBlockDevice(const QByteArray& path)
{
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 && S_ISBLK(st.st_mode);
}

driver_id_t driverFor(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == "cue" || suffix == "bin")
        return DRIVER_BINCUE;
    if (suffix == "toc")
        return DRIVER_CDRDAO;
    if (suffix == "nrg")
        return DRIVER_NRG;
    if (isBlockDevice(NativePath(path)))
        return DRIVER_DEVICE;
    return DRIVER_UNKNOWN;
}

// Copies a fixed-size C text field that may lack its terminating NUL.
QString fieldText(const char* field, size_t size)
{
    size_t n = 0;
    while (n < size && field[n] != '\0')
        ++n;
    return QString::fromLatin1(field, qsizetype(n)).trimmed();
}

CdDrive physicalDrive(const char* device)
{
    CdDrive d;
    d.path = PathFromNative(device);
    d.isImage = false;
    if (CdioPtr cdio = OpenCdio(d.path)) {
        cdio_hwinfo_t hw {};
        if (cdio_get_hwinfo(cdio.get(), &hw)) {
            d.vendor = fieldText(hw.psz_vendor, sizeof hw.psz_vendor);
            d.product = fieldText(hw.psz_model, sizeof hw.psz_model);
        }
    }
    if (d.vendor.isEmpty() && d.product.isEmpty())
        d.product = QFileInfo(d.path).fileName();
    return d;
}

// An image counts as a drive only when libcdio opens it.
std::optional<CdDrive> imageDrive(const QString& path)
{
    if (path.isEmpty())
        return std::nullopt;
    if (isBlockDevice(NativePath(path)))
        return physicalDrive(NativePath(path).constData());
    if (!OpenCdio(path))
        return std::nullopt;
    CdDrive d;
    d.path = path;
    d.isImage = true;
    d.vendor = QStringLiteral("Image");
    d.product = QFileInfo(path).completeBaseName();
    return d;
}

}  // namespace

void CdioCloser::operator()(CdIo_t* p) const
{
    if (p)
        cdio_destroy(p);
}

CdioPtr OpenCdio(const QString& path)
{
    quietCdio();
    if (path.isEmpty())
        return {};
    const driver_id_t driver = driverFor(path);
    // A .toc sheet is read by our own reader (file names relative to the
    // sheet's folder, silence, pregaps) and handed to libcdio in a form it
    // reads right.
    if (driver == DRIVER_CDRDAO) {
        QString problem;
        return CdioPtr(OpenTocImage(path, &problem));
    }
    // libcdio reads a cue sheet's data from the .bin beside it with its name
    // whatever the sheet says; other sheets are read as .toc sheets are.
    if (driver == DRIVER_BINCUE && QFileInfo(path).suffix().toLower() == QLatin1String("cue") &&
        !CueSheetFitsLibcdio(path)) {
        QString problem;
        if (const std::optional<TocImage> image = ReadCueSheet(path, &problem))
            return CdioPtr(OpenAudioImage(*image, &problem));
        if (!problem.isEmpty())
            return {};
    }
    const QByteArray native = NativePath(path);
    return CdioPtr(cdio_open(native.constData(), driver));
}

void SetExplicitCdDevices(const QStringList& paths)
{
    std::lock_guard<std::mutex> lock(explicitMutex);
    explicitDevices = paths;
}

std::vector<CdDrive> ListCdDrives()
{
    quietCdio();
    std::vector<CdDrive> drives;
    const QStringList explicitList = currentExplicitDevices();
    if (!explicitList.isEmpty()) {
        for (const QString& p : explicitList)
            if (auto d = imageDrive(p))
                drives.push_back(*d);
        return drives;
    }
    if (char** list = cdio_get_devices(DRIVER_DEVICE)) {
        for (char** p = list; *p; ++p)
            drives.push_back(physicalDrive(*p));
        cdio_free_device_list(list);
    }
    for (const QString& p : ConfiguredCdImages())
        if (auto d = imageDrive(p))
            drives.push_back(*d);
    return drives;
}

bool DiscLayout::anyAudio() const
{
    for (bool a : audio)
        if (a)
            return true;
    return false;
}

bool DiscLayout::allAudio() const
{
    if (audio.empty())
        return false;
    for (bool a : audio)
        if (!a)
            return false;
    return true;
}

std::optional<DiscLayout> ReadDiscLayout(const QString& path)
{
    CdioPtr cdio = OpenCdio(path);
    if (!cdio)
        return std::nullopt;
    return ReadDiscLayout(cdio.get());
}

std::optional<DiscLayout> ReadDiscLayout(CdIo_t* cdio)
{
    if (!cdio)
        return std::nullopt;
    const track_t first = cdio_get_first_track_num(cdio);
    const track_t count = cdio_get_num_tracks(cdio);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0)
        return std::nullopt;
    DiscLayout layout;
    layout.firstTrack = first;
    for (int t = first; t < first + count; ++t) {
        const lsn_t lsn = cdio_get_track_lsn(cdio, track_t(t));
        if (lsn == CDIO_INVALID_LSN)
            return std::nullopt;
        layout.starts.push_back(lsn);
        layout.audio.push_back(cdio_get_track_format(cdio, track_t(t)) == TRACK_FORMAT_AUDIO);
    }
    const lsn_t leadout = cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK);
    if (leadout == CDIO_INVALID_LSN)
        return std::nullopt;
    layout.starts.push_back(leadout);
    return layout;
}

bool IsAudioCdDrive(const QString& path)
{
    auto layout = ReadDiscLayout(path);
    return layout && layout->anyAudio();
}

bool AudioCdPresent()
{
    const std::vector<CdDrive> drives = ListCdDrives();
    return !drives.empty() && IsAudioCdDrive(drives.front().path);
}

int32_t AudioCdSerial(const DiscLayout& layout)
{
    const int tracks = layout.trackCount();
    if (tracks <= 0)
        return 0;
    auto msfValue = [](int64_t lsn) -> uint32_t {
        const int64_t frames = std::max<int64_t>(0, lsn + 150);
        const uint32_t m = uint32_t(frames / (60 * 75));
        const uint32_t s = uint32_t(frames / 75 % 60);
        const uint32_t f = uint32_t(frames % 75);
        return (m << 16) + (s << 8) + f;
    };
    uint32_t sum = 0;
    for (int i = 0; i < tracks; ++i)
        sum += msfValue(layout.starts[size_t(i)]);
    if (tracks < 3)
        sum += uint32_t(int64_t(layout.starts.back()) - layout.starts.front());
    if (tracks == 2)
        sum += uint32_t((int64_t(layout.starts.front()) + 150) % 75);
    return int32_t(sum);
}

QString DiscKeyOf(const QString& path)
{
    if (path.isEmpty())
        return {};
    const auto layout = ReadDiscLayout(path);
    if (!layout || !layout->anyAudio())
        return {};
    return QString::number(AudioCdSerial(*layout));
}

QString ComputeDiscKey()
{
    for (const CdDrive& d : ListCdDrives()) {
        auto layout = ReadDiscLayout(d.path);
        if (layout && layout->anyAudio())
            return QString::number(AudioCdSerial(*layout));
    }
    return {};
}

}  // namespace dw
