#pragma once
// The items of a job as the runner reads them: track items of CD jobs (two
// digits of track number, then the title), file paths of the other kinds,
// and the files each item reads and writes.
//
// Pure functions; any thread.

#include "app/JobEvents.h"
#include "app/OutputFormats.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace dw {

// A CD job item's text: its first two characters are the track number
// (1..99), the rest the title.
struct TTrackItemText {
    int track = 0;
    QString title;
};
// Nullopt when the first two characters are not a track number 1..99.
std::optional<TTrackItemText> ParseTrackItem(const QString& text);

// One item of a job, resolved once when the job starts.
struct TJobItem {
    QString text;     // the caller's item text
    int track = 0;    // CD jobs: the disc's track number (0 when the item has none)
    QString title;    // CD jobs: the title, item text from its third character
    QString stem;     // CD jobs: the file-name stem the track's files get
    // What the caption names: the title for CD jobs, the path otherwise.
    QString name;
};

// Resolves the items of a job. CD items get distinct, safe file stems
// (UniqueFileStems over the whole job), so no two tracks write one file,
// short enough for the extension of outputFormat (the OutputFormat setting)
// as well as for ".wav".
std::vector<TJobItem> ResolveJobItems(TJobKind kind, const QStringList& items, TOutputFormat outputFormat);

// Replaces the text from the last full stop of the file name on by ext
// (".mp3"), or appends ext when the name has none. A dot in a folder name
// does not count.
QString ChangeFileExt(const QString& path, const QString& ext);

// The extension of what a job kind makes of a file: ".mp3", ".wav", ".ogg",
// ".wma", ".flac", ".opus" (for a CD job, that of outputFormat).
QString JobOutputExt(TJobKind kind, TOutputFormat outputFormat);

// The output of a file item (kinds 2 to 8): out + the input's file name with
// its extension changed; kind 4 writes beside the recording instead.
QString JobFileOutput(TJobKind kind, const QString& out, const QString& input);

// The ripped WAV of a CD item: out + stem + ".wav".
QString JobTrackWav(const QString& out, const TJobItem& item);

// The base names of the resampling buffers: out + "MyMP3ReTemp" /
// "MyReTemp" + tag + ".wav". The runner creates each buffer exclusively
// under a unique hidden name made from it (never this name itself), so a
// file of this name in the folder is never touched. The window's job has no
// tag; runners side by side in one folder may pass one to tell theirs apart.
QString Mp3ResampleBuffer(const QString& out, const QString& tag = {});
QString OggResampleBuffer(const QString& out, const QString& tag = {});

// Indexes of items that would write the same output as an earlier item of
// the same job (compared as the file system would: the same path), with the
// index of that earlier item. Kinds 2 to 8 only.
struct TOutputClash {
    int index = 0;
    int earlier = 0;
    QString output;
};
std::vector<TOutputClash> FindOutputClashes(TJobKind kind, const QString& out, const QStringList& inputs);

// Whether the output of input item `index` is one of the job's inputs (the
// same file under any name or link, see SameFile, or the same path): such
// an output would be replaced before or while it is read. Empty when not,
// else the refusal naming the output (and the other input). Kinds 2 to 8
// only; looks at the files as they are now.
QString OutputIsInput(TJobKind kind, const QString& out, const QStringList& inputs, int index);

}  // namespace dw
