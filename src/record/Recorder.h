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
// next whole second of the record clock is a timer.
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
    void Save() { (void)askToSave(false); }
    void SaveAs();
    void Undo();
    void RecordingControl();
    void SetMp3Format(bool on) { mp3Format_ = on; }
    bool Mp3Format() const { return mp3Format_; }
    // The closing step: offers to save, closes the device and removes the
    // working copy. The front end stores Mp3Format() afterwards.
    void Close();

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
    // Stop was pressed and the recording runs on to the next whole second.
    bool StopPending() const { return stopTimer_.isActive(); }

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
    // Ends a recording: stops the clock, saves into the opened file, shows
    // the new length. The message for a failed save, empty when it worked.
    QString finishRecording();
    // Stop without the run-on (before saving, closing, or after a failure).
    QString stopAtOnce();
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
};

}  // namespace dw
