#pragma once
// Helpers for the jobs tests: a receiver that records job events, WAV
// fixtures written at run time, and ffprobe as a peer to check results.

#include "app/JobEvents.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace jobstest {

// Records every event it receives, in order.
class EventLog : public dw::JobEventReceiver {
public:
    void jobEvent(std::unique_ptr<dw::TProcessInfo> info) override;
    void ripError(int code) override { ripErrors.push_back(code); }
    void cddbResult(int result, int errorCode) override { cddbResults.push_back({result, errorCode}); }

    // Completions (event codes) received so far.
    std::vector<dw::TProcessInfo> completions() const;
    std::vector<dw::TProcessInfo> progress() const;
    // Waits (serving events) until n completions have arrived.
    bool waitCompletions(size_t n, int timeoutMs = 60000) const;

    std::vector<dw::TProcessInfo> events;
    std::vector<int> ripErrors;
    std::vector<std::pair<int, int>> cddbResults;
    // Called after an event was recorded (on the main thread).
    std::function<void(const dw::TProcessInfo&)> onEvent;
};

// A 16-bit PCM WAV file of a sine tone (little-endian header written byte by byte).
void writeWav(const QString& path, int rate, int channels, double seconds);

// ffprobe's view of a file: codec_name, sample_rate, channels, bit_rate of
// the first audio stream, duration and TAG:artist / TAG:comment of the container. Empty when ffprobe
// cannot read it.
QMap<QString, QString> probe(const QString& path);

// Writes an executable /bin/sh script.
void writeScript(const QString& path, const QByteArray& body);

// The hidden entries of a folder (where temporary outputs live), sorted.
QStringList hiddenFiles(const QString& folder);

}  // namespace jobstest
