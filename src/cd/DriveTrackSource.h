#pragma once
// The drive-mode track source: a thin adapter over the rip thread, which
// reads the track through the drive library. The thread hands the whole
// track over instead of finishing it, and its events become the source's
// typed ones; its blocks pass through the source's taps.
//
// Failures: the disc side as "Error while reading CD information! (<reason>)",
// the file as "<file>: <reason>".

#include "cd/TrackSource.h"

#include <QTimer>

#include <memory>

namespace dw {

class TCDRipThread;

class TDriveTrackSource : public TTrackSource {
public:
    // cdHandle: the drive library's handle of the drive to read.
    explicit TDriveTrackSource(int cdHandle);
    ~TDriveTrackSource() override;

    void Read(const TTrackRead& what, const TCancelToken& cancel) override;
    bool Reading() const override { return thread_ != nullptr; }

private:
    class Receiver;
    void end(TTrackReadEnd end);
    void ripDone(int result);
    void ripError(int code);
    void progressCode(int code);
    void checkStopped();

    int cdHandle_;
    int track_ = 0;     // of the read under way
    QString wavFile_;
    QTimer stopPoll_;  // a stopped thread posts nothing more: its end is looked for
    std::unique_ptr<Receiver> receiver_;
    std::unique_ptr<TCancelCallback> onCancel_;
    std::unique_ptr<TCDRipThread> thread_;
    TCancelToken cancel_;
};

}  // namespace dw
