#pragma once
// What `info` shows of an MP3 file: its ID3v2 tag at the start and its ID3v1
// trailer at the end, read through the tag containers, and beside them every
// text frame of the ID3v2 tag (user texts such as REPLAYGAIN_TRACK_GAIN
// included). The file is opened read-only.

#include "tags/Id3v2FrameList.h"

#include <QList>
#include <QPair>
#include <QString>

namespace dw {

struct TMp3TagInfo {
    bool hasId3v1 = false;
    bool hasId3v2 = false;
    bool id3v2Is23 = false;  // frame names of ID3v2.3/2.4 rather than ID3v2.2
    // Field name and text, in a fixed order; empty fields are left out.
    QList<QPair<QString, QString>> id3v1;
    QList<QPair<QString, QString>> id3v2;
    // Every text frame of the ID3v2 tag, and why a damaged one could not be read.
    TId3v2FrameList id3v2Frames;
};

// Whether the file starts like an MP3 file: an ID3v2 header or an MPEG audio
// frame sync.
bool LooksLikeMp3(const QString& path);

// Reads both tags; false with error "<file>: <reason>" when the file cannot be read.
bool ReadMp3TagInfo(const QString& path, TMp3TagInfo* info, QString* error);

}  // namespace dw
