#pragma once
// TfrmRecord: the "Record" window. It binds the Start button's menu, the
// media buttons, the track bar and the close request to the recorder engine
// (record/Recorder), draws what the engine tells it, and answers the
// engine's requests for the new-file dialog and the job runner.
//
//   TfrmRecord form(mainWindow, cdHandle);
//   form.exec();
//
// Main thread only.

#include "record/RecordView.h"
#include "widgets/TranslatedDialog.h"

#include <functional>
#include <map>

class QAction;
class QGroupBox;
class QLabel;
class QSlider;
class QToolButton;

namespace dw {

class StartButton;
class TRecorder;

class TfrmRecord : public TranslatedDialog, public TRecordView {
    Q_OBJECT
public:
    TfrmRecord(QWidget* owner, int cdHandle);
    ~TfrmRecord() override;

    TRecorder& Recorder() { return *recorder_; }
    QToolButton* MediaButton(TMediaButton button) const { return buttons_.at(button); }

    // TRecordView
    void SetCaption(const QString& text) override;
    void SetState(const QString& text) override;
    void SetButtons(unsigned enabled) override;
    void SetTrackBar(int position) override;
    void SetPositionText(const QString& text) override;
    void SetLengthText(const QString& text) override;
    void SetRecordTime(const QString& text) override;
    std::optional<TWaveAudioFormat> AskNewFileFormat() override;
    void RunJob(TJobKind kind, int cdHandle, const QStringList& items) override;
    void CloseWindow() override;

    // Every way of closing (Exit, the close box, Escape) runs the closing
    // step once; the window closes when it has ended (after a running
    // recording has been stopped and saved).
    void done(int result) override;

private:
    void buildMenu();
    void updateMenu();
    // Runs the recorder's closing step once, then `then` (not while the window is being destroyed).
    void closeRecorder(std::function<void()> then);

    std::unique_ptr<TRecorder> recorder_;
    QGroupBox* GroupBox1;
    QLabel* lbState;
    QSlider* TrackBar1;
    QLabel* lbPosition;
    QLabel* lbLength;
    QLabel* panRecordTime;
    StartButton* btStart;
    QAction* miNew = nullptr;
    QAction* miOpen = nullptr;
    QAction* miSave = nullptr;
    QAction* miSaveAs = nullptr;
    QAction* miUndo = nullptr;
    QAction* miRecordingControl = nullptr;
    QAction* miMp3Format = nullptr;
    QAction* miExit = nullptr;
    std::map<TMediaButton, QToolButton*> buttons_;
    bool closing_ = false;     // the closing step has begun
    bool closed_ = false;      // ... and ended
    bool destroying_ = false;
};

}  // namespace dw
