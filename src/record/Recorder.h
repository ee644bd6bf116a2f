#pragma once
// TRecorder: the recorder window's engine. It records from the sound card
// into a WAV file through the wave-audio device, plays it back, and saves it
// under a name of the user's choosing, optionally converting the saved WAV
// to MP3 through the job runner (job kind 4). A new recording is made in
// MyNoName.wav in the work folder (record/RecordFiles); an opened file is
// edited through the working copy MyTemp.wav there, and only saving copies
// the working copy back.
//
// The window binds its menu, media buttons, track bar and close request to
// the calls below and draws what the engine tells its TRecordView. Messages
// and choosers go through platform/Dialogs. A recording's file policy (the
// empty WAV it starts from, saving what was captured, keeping the file under
// its new name) is record/RecordSession, which the command line uses too.
// Nothing here waits on the window's thread: the Stop button's run-on to the
// next whole second of the record clock is a timer, and a stopped
// recording's last audio is written by the device's worker while the window
// goes on; what follows the stop (saving it, or the command that needed the
// recording stopped: Save, Save As, New, Open, closing) runs once the device
// has told that the worker ended. Commands that come meanwhile run after it,
// in order.
//
// The "MP3 format" tick starts as the front end gives it and is read back
// by the front end when the recorder closes (Mp3Format()); the engine keeps
// no settings of its own.
//
// Main thread only.

#include "platform/WaveAudioDevice.h"
#include "record/RecordSession.h"
#include "record/RecordView.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

namespace dw {

class TRecorder : public QObject {
    Q_OBJECT
public:
    // cdHandle: the main window's drive handle (0 in ripper mode, which
    // cannot convert to MP3 here). mp3Format: the "MP3 format" tick to start with.
    TRecorder(TRecordView& view, int cdHandle, bool mp3Format = false, QObject* parent = nullptr);
    ~TRecorder() override;

    // Menu of the Start button.
    void New();
    void Open();
    void Save();
    void SaveAs();
    void Undo();
    void RecordingControl();
    void SetMp3Format(bool on) { mp3Format_ = on; }
    bool Mp3Format() const { return mp3Format_; }
    // The closing step: offers to save, closes the device and removes the
    // working copy, then calls closed. A running recording is stopped first,
    // so this may end after the call has returned. The front end stores
    // Mp3Format() afterwards.
    void Close(std::function<void()> closed = {});
    // Where no event loop follows (the window is being destroyed): waits for
    // a recording being stopped and runs what was waiting for it.
    void WaitForStop();

    // Media buttons.
    void PlayClick();
    void StopClick();
    void NextClick();
    void PrevClick();
    void RecordClick();
    void TrackBarMoved(int position);

    // What the menu enables.
    bool CanSave() const { return (buttons_ & mbRecord) != 0; }
    bool CanUndo() const;

    // State, for the window and for tests.
    const QString& CurrentFile() const { return currentFile_; }
    const QString& WorkFile() const { return workFile_; }
    QString NoNameFile() const { return folder_ + NoNameFileName(); }
    const QString& WorkFolder() const { return folder_; }
    bool Modified() const { return modified_; }
    bool Mp3Done() const { return mp3Done_; }
    unsigned Buttons() const { return buttons_; }
    int TrackBar() const { return trackBar_; }
    TWaveAudioDevice& Device() { return device_; }
    bool PlaybackTimerActive() const { return timer1_.isActive(); }
    bool RecordTimerActive() const { return timerRecord_.isActive(); }
    // Stop was pressed and the recording runs on to the next whole second,
    // or it is being stopped and not yet saved.
    bool StopPending() const { return stopTimer_.isActive() || stopping_; }

    static const char* NoNameFileName();
    static constexpr int kTrackMax = 400;

private:
    bool askToSave(bool askMode);
    bool isNoName() const;
    bool loadFile(const QString& path);
    void runMp3();
    // The save chooser with its checks; empty when the user cancelled or a check refused.
    QString chooseSaveName(bool deleteExisting);
    void setButtons(unsigned b);
    void setTrackBar(int position);
    void setState(const QString& text);
    void playTimerTick();
    void recordTimerTick();
    void deviceFailed(const QString& reason);
    // What follows a recording's end, given the message for a failed save
    // (empty when it worked).
    using TRecordingEnded = std::function<void(const QString& saveError)>;
    // Ends a recording: stops the clock and the device; once the device's
    // worker has ended, saves into the opened file, shows the new length and
    // calls done (at once when no capture runs).
    void finishRecording(TRecordingEnded done);
    // The device has no capture running any more: what finishRecording does after it.
    void recordingEnded(bool recorded, const TRecordingEnded& done);
    // For commands that need no recording running: true when one runs or
    // is being stopped, after stopping it at once (no run-on; a failed save
    // is shown first) and queueing `again` to run once it has ended.
    bool stopFirst(std::function<void()> again);
    // While a recording is being stopped, queues the command to run after it.
    bool deferred(void (TRecorder::*command)());
    // Runs the queued commands while no recording is being stopped.
    void runAfterStop();
    void showError(const QString& text);

    TRecordView& view_;
    int cdHandle_;
    TWaveAudioDevice device_;
    TRecordSession session_{device_};
    QString folder_;
    QString currentFile_;
    QString workFile_;
    bool modified_ = false;
    bool mp3Done_ = false;
    bool mp3Format_ = false;
    int64_t playPosition_ = 0;
    QElapsedTimer recordStart_;
    int recordMsec_ = 0;
    unsigned buttons_ = 0;
    int trackBar_ = 0;
    QString state_;
    QTimer timer1_;       // playback, 500 ms
    QTimer timerRecord_;  // record clock, 100 ms
    QTimer stopTimer_;    // the run-on of a stopped recording, single shot
    bool stopping_ = false;              // the device's worker is ending the recording
    TRecordingEnded whenStopped_;        // what follows that end
    std::vector<std::function<void()>> afterStop_;  // commands that came meanwhile
};

}  // namespace dw
