#pragma once
// What the recorder engine (record/Recorder) asks of its window: the texts
// and controls it sets, the new-file dialog and the job runner it opens, and
// closing. The window implements it; the engine holds every state.
//
// Main thread only.

#include "app/JobEvents.h"
#include "platform/WaveAudioFile.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace dw {

// The media buttons of the recorder, as a set of bits.
enum TMediaButton : unsigned {
    mbPlay = 1u << 0,
    mbPause = 1u << 1,
    mbStop = 1u << 2,
    mbNext = 1u << 3,
    mbPrev = 1u << 4,
    mbStep = 1u << 5,
    mbBack = 1u << 6,
    mbRecord = 1u << 7,
};

class TRecordView {
public:
    virtual ~TRecordView() = default;

    virtual void SetCaption(const QString& text) = 0;
    virtual void SetState(const QString& text) = 0;         // lbState
    virtual void SetButtons(unsigned enabled) = 0;          // TMediaButton bits, exactly these enabled
    virtual void SetTrackBar(int position) = 0;             // 0..400
    virtual void SetPositionText(const QString& text) = 0;  // lbPosition
    virtual void SetLengthText(const QString& text) = 0;    // lbLength
    virtual void SetRecordTime(const QString& text) = 0;    // panRecordTime

    // The new-file dialog; nothing when cancelled.
    virtual std::optional<TWaveAudioFormat> AskNewFileFormat() = 0;
    // The job runner, modally, until its job has ended.
    virtual void RunJob(TJobKind kind, int cdHandle, const QStringList& items) = 0;
    // The recorder asks its window to close (the closing step follows).
    virtual void CloseWindow() = 0;
};

}  // namespace dw
