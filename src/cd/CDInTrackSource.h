#pragma once
// The ripper-mode track source: the CD input component pulled by a WAV
// writer, through a pass-through stage that hands every block to the taps
// and ends the run when the read is cancelled. The component must have its
// drive chosen; it is read one track at a time and not used by anyone else
// while a read runs.
//
// What goes wrong is told as the job shows it: a failure on the disc side as
// "Error while reading CD information! (<the component's reason>)", naming
// the track's file when reading had begun; a failure of the file as
// "<file>: <reason>".

#include "cd/TrackSource.h"

#include <QObject>

#include <memory>
#include <optional>

namespace dw {

class TCDIn;
class TWaveOut;

class TCDInTrackSource : public TTrackSource {
public:
    explicit TCDInTrackSource(TCDIn& cdIn);
    ~TCDInTrackSource() override;

    void Read(const TTrackRead& what, const TCancelToken& cancel) override;
    bool Reading() const override { return reading_; }

private:
    class TapStage;
    void ended();
    void fail(TJobFailure failure);  // a read that never ran: told from the event loop

    TCDIn& cdIn_;
    QObject context_;  // for the queued end of a read that never ran
    std::unique_ptr<TapStage> stage_;
    std::unique_ptr<TWaveOut> out_;
    std::unique_ptr<TOutputFile> wav_;
    std::optional<int> firstTrack_;  // the disc's number of the component's track 1
    TTrackRead what_;
    TCancelToken cancel_;
    QString failure_;  // what the writer reported
    bool reading_ = false;
};

}  // namespace dw
