#pragma once
// Every text-like frame of the ID3v2 tag at the start of an MP3 file, for
// showing what a file holds (`info`): text frames (T***), user texts
// (TXXX, REPLAYGAIN_* among them), comments (COMM) and links (W***, WXXX).
//
// The tag header is checked by our own layout code and its size against the
// file before a byte of the tag is read; the tag bytes are then read through
// the descriptor (never opened for writing) and their frames decoded by
// TagLib from memory. Versions 2.2 frames are named by their 2.4 names.
//
// Thread-safe (no shared state).

#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace dw {

struct TId3v2FrameList {
    bool present = false;  // a tag was found and its frames read
    QString version;       // "2.4.0", "2.3.0", "2.2.0"
    // Frame key and its values, in tag order; a key that occurs in several
    // frames holds all their values. Keys: the frame id ("TIT2"), and for
    // frames told apart by a description "TXXX:<description>",
    // "WXXX:<description>" and "COMM:<description>:<language>".
    QList<QPair<QString, QStringList>> frames;
    // Why a tag that the file starts with could not be read, naming the file
    // ("<file>: ..."); empty when there is no tag or it was read.
    QString problem;
};

// Largest tag whose frames are listed (pictures included); a larger tag is
// reported as a problem rather than held in memory.
inline constexpr int64_t kMaxListedId3v2Tag = 64 * 1024 * 1024;

// Reads the tag at the start of the open file fd (path names it in problems).
// No tag at all is not a problem: present stays false and problem empty.
TId3v2FrameList ListId3v2Frames(int fd, const QString& path);

// The frames as one JSON object: a key with one value maps to the string, a
// key with several to an array of them. Built in key order, so a tag of
// hundreds of thousands of keys costs time in proportion to their number.
QJsonObject FramesAsJson(const TId3v2FrameList& list);

}  // namespace dw
