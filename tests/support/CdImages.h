#pragma once
// CD images for tests, written at run time by the dw-cdimage tool of the
// build (so the tests read exactly what users and the demo get).

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace dwtest {

struct CdImageOptions {
    bool silence = false;          // silent audio instead of a tone per track
    QString dataTrack;             // length of a data track ("1:00"); empty: none
    bool dataFirst = false;        // the data track comes first instead of last
    QString name = "disc";         // base name of the .cue and .bin
    int firstTrack = 1;            // number of the first track

    // Chainable set-up: CdImageOptions().named("a").withDataTrack("1:00").
    CdImageOptions& named(const QString& n) { name = n; return *this; }
    CdImageOptions& silent() { silence = true; return *this; }
    CdImageOptions& withDataTrack(const QString& length, bool first = false)
    {
        dataTrack = length;
        dataFirst = first;
        return *this;
    }
    CdImageOptions& numberedFrom(int track) { firstTrack = track; return *this; }
};

// Writes dir/<name>.cue and .bin with audio tracks of the given lengths in
// whole seconds; returns the .cue path. Throws std::runtime_error (with the
// tool's message) when the tool fails.
QString makeCdImage(const QString& dir, const std::vector<int>& seconds, const CdImageOptions& options = {});

// The same with lengths as the tool takes them ("3:00", "0:45:10", "12").
QString makeCdImageFrom(const QString& dir, const QStringList& lengths, const CdImageOptions& options = {});

// Runs dw-cdimage with the arguments; gives its exit status (-1 when it did not
// run) and its standard error output.
int runCdImageTool(const QStringList& args, QByteArray* errorOutput = nullptr);

// Path of the .bin beside a .cue.
QString binPathOf(const QString& cuePath);

}  // namespace dwtest
