#pragma once
// What a rip reads, taken once from the job's configuration when the job
// starts, so the engine and its steps work on values of their own. The
// encoder processes get the stored options as they are (Options).

#include "app/DiscInfo.h"
#include "app/JobConfig.h"
#include "app/OutputFormats.h"
#include "cd/RipSettings.h"

#include <QString>

#include <array>

namespace dw {

struct TCDRipSettings {
    TRipSettings Rip;          // folder, cut, normalise, Overwrite
    TOutputFormat OutputFormat = TOutputFormat::Mp3;
    bool IsKeepWav = false;
    // [OggOptions]
    bool IsUseCompress = true;
    int CompressPosition = 30;
    int OggMaxBitRate = 0, OggNomalBitRate = 0, OggMinBitRate = 0;  // positions in the dialog's bit-rate lists
    // [WMAOptions] profile index, for the time estimate
    int WmaBitRate = 8;
    // [FlacOptions] and [OpusOptions]
    int FlacCompressionLevel = 5;
    bool FlacVerify = true;
    int OpusBitRate = 160;  // kbit/s
    bool OpusVbr = true;
    // Vorbis comments from the disc and the track into OGG, FLAC and Opus
    // files (CD tracks always; conversions clear it)
    bool TrackComments = true;
    // [ReplayGain] Use: each track is measured as it is ripped; its values
    // and the album's go into the encoded files
    bool ReplayGain = false;
    // [Id3v2] Use: an MP3 gets an ID3v2.4 tag with the values of its ID3v1
    // trailer
    bool Id3v2 = true;
    // An MP3 gets the ID3v1 trailer (ripper mode always; drive mode takes
    // [ID3] Use)
    bool Id3v1 = true;
    // The current disc's values.
    QString DiscArtist, DiscAlbum, DiscYear, DiscComment;
    int DiscGenre = -1;
    int DiscTrackCount = 0;  // 0 when not known
    // The tracks' titles as entered (slot k = track k; empty when not known):
    // tags carry these, file names their cleaned form.
    std::array<QString, 101> DiscTitles;
    // The stored options the values above come from, for the lame and WMA
    // processes (their MP3 and WMA switches).
    TStoredOptions Options;

    // The values of a job's configuration: its options, its disc and
    // whether a finished track replaces an existing file.
    static TCDRipSettings FromConfig(const TJobConfig& config);
    TDiscInfo Disc() const;  // the disc's values above
};

}  // namespace dw
