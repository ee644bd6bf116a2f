#pragma once
// Measures the loudness of a WAV file that an encoder process (lame) reads
// by itself: the runner reads the same PCM through a TLoudnessMeasure on a
// thread of its own while the encoder runs. Reading a WAV is a file read,
// not a second decoding; the file is most likely still in the page cache.
//
// Threads: Start, Wait, Cancel and the destructor on the owner's thread
// (the main thread); the reading runs on the scan's own thread.

#include "audio/formats/LoudnessMeter.h"

#include <QString>

#include <atomic>
#include <memory>
#include <thread>

namespace dw {

// Reads the WAV file at path through a loudness measurement on the calling
// thread. False when stop was raised before the end; raises what the reader
// or the measurement raise (a file that is no WAV, an unsupported format).
bool MeasureWaveFile(const QString& path, TLoudness& result, std::unique_ptr<TLoudnessMeter>& meter,
                     const std::atomic<bool>& stop);

class TLoudnessScan {
public:
    TLoudnessScan() = default;
    ~TLoudnessScan();  // cancels a scan under way
    TLoudnessScan(const TLoudnessScan&) = delete;
    TLoudnessScan& operator=(const TLoudnessScan&) = delete;

    // Starts measuring path (a scan under way is cancelled first).
    void Start(const QString& path);
    bool Started() const { return thread_.joinable(); }

    // Waits for the scan to end and hands over its result: true with the
    // loudness and the measurement (for an album) when the whole file was
    // read; false with *failure ("<path>: <reason>") otherwise, or when no
    // scan was started (then *failure stays empty).
    bool Wait(TLoudness& result, std::unique_ptr<TLoudnessMeter>& meter, QString* failure = nullptr);

    // Ends a scan under way and drops its result.
    void Cancel();

private:
    std::thread thread_;
    std::atomic<bool> stop_{false};
    QString path_;
    // Written by the scan's thread, read after it was joined.
    bool whole_ = false;
    TLoudness result_;
    std::unique_ptr<TLoudnessMeter> meter_;
    QString failure_;
};

}  // namespace dw
