#pragma once
// The machine's CD drives as one ordered list: the physical drives libcdio
// finds, then the CD images (.cue/.bin, .toc, .nrg) named in
// DISCWRIGHT_CD_IMAGES. When a device is chosen explicitly (the command
// line's --device), the list is that one device alone.
//
// A drive "holds an audio CD" when a disc is present and at least one track
// on it is an audio track: Enhanced CDs (audio, then data) and mixed-mode CDs
// (data track 1, then audio) count; their data tracks are listed and refused
// when ripped. The disc key of the disc-information cache is the audio-CD
// serial number computed from the table of contents of a drive's disc.
//
// All functions may be called from any thread; each opens its own libcdio
// object for the time of the call.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

typedef struct _CdIo CdIo_t;

namespace dw {

// Owner of one open libcdio object.
struct CdioCloser {
    void operator()(CdIo_t* p) const;
};
using CdioPtr = std::unique_ptr<CdIo_t, CdioCloser>;

// Opens a drive or image through libcdio (images by their file type, device
// nodes as drives). libcdio's own log output is silenced: callers report.
// Null when libcdio cannot open it.
CdioPtr OpenCdio(const QString& path);

struct CdDrive {
    QString path;      // device node or image file
    bool isImage = false;
    QString vendor;    // drive vendor ("Image" for images)
    QString product;   // drive model (the image file's base name for images)
};

// Replaces the drive list by the given devices or images (empty: back to the
// normal list). The command line calls this for --device.
void SetExplicitCdDevices(const QStringList& paths);

// The ordered drive list. An image that libcdio cannot open is no drive.
std::vector<CdDrive> ListCdDrives();

// Start addresses of a disc: sector numbers (LSN, 0 = the first sector after
// the 150-sector lead-in) of the tracks first..last followed by the lead-out.
struct DiscLayout {
    int firstTrack = 0;
    std::vector<int32_t> starts;     // track starts, then the lead-out
    std::vector<bool> audio;         // per track (starts.size() - 1 entries)

    int trackCount() const { return starts.empty() ? 0 : int(starts.size()) - 1; }
    bool allAudio() const;
    bool anyAudio() const;
};

// Reads the layout of the disc in a drive or image; nullopt when no disc can
// be read (no drive, no medium, an image libcdio refuses).
std::optional<DiscLayout> ReadDiscLayout(const QString& path);
// The same from an open libcdio object (which should be freshly opened, as
// libcdio reads the table of contents once per object).
std::optional<DiscLayout> ReadDiscLayout(CdIo_t* cdio);

// True when the drive holds a disc with at least one audio track.
bool IsAudioCdDrive(const QString& path);

// Why a drive or image cannot be opened, for the user: empty when libcdio
// opens it; otherwise "<file>: <reason>", e.g. the .bin a cue sheet names is
// missing, a cue line cannot be read, or the type of a track is not supported.
QString CdDeviceProblem(const QString& path);

// True when the first drive of the list holds an audio CD.
bool AudioCdPresent();

// The audio-CD serial number of a layout: the sum over all tracks of
// (M << 16) + (S << 8) + F of each start address in minute-second-frame form
// with the 150-frame lead-in included; fewer than 3 tracks add the disc length
// in frames (lead-out minus first track start), exactly 2 tracks also the frame
// part of track 1's start. Arithmetic wraps at 32 bits like the stored value.
int32_t AudioCdSerial(const DiscLayout& layout);

// The disc key: the serial of the first drive holding an audio CD, as signed
// decimal text; empty when no drive holds one.
QString ComputeDiscKey();

// The disc key of the disc in one drive or image: its serial as signed
// decimal text; empty when it holds no audio CD. With several drives the
// window and the command line key the cache by the drive they list.
QString DiscKeyOf(const QString& path);

}  // namespace dw
