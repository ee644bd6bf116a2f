#pragma once
// TRipForm: the modal progress window of a job (file conversions and the
// drive-mode rip). It draws what the engine tells its
// TJobView: the stage caption, the heading, the gauge with its percent text,
// the status over the gauge and the two times. Stop and the close request
// ask the engine to stop; the engine's Closed() closes the window.
//
//   TRipForm form(mainWindow);
//   form.StopRequested = [cancel = options.cancel] { cancel.Cancel(); };
//   RunJob(kind, 0, files, config, form, onEnd, options);
//   form.RunModal();   // returns when the job has closed
//
// The window shows itself on the first thing it is told, so checks that
// refuse a job before it starts never flash it. Main thread only.

#include "runner/JobView.h"
#include "widgets/TranslatedDialog.h"

#include <functional>

class QGroupBox;
class QLabel;
class QPushButton;

namespace dw {

class FlatGauge;

class TRipForm : public TranslatedDialog, public TJobView {
    Q_OBJECT
public:
    explicit TRipForm(QWidget* owner);

    std::function<void()> StopRequested;

    // Shows the window modally until the job closes (at once when it has).
    void RunModal();
    bool JobClosed() const { return closed_; }

    // TJobView
    void StageStarted(const TJobStage& stage) override;
    void Heading(const QString& text) override;
    void StatusText(const QString& text, bool visible) override;
    void Gauge(int percent) override;
    void ShowPercent(bool show) override;
    void Times(const QString& elapsed, const QString& estimated) override;
    void Closed() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void appear();
    void requestStop();

    QWidget* owner_;
    QGroupBox* GroupBox1;
    FlatGauge* FlatGauge1;
    QLabel* Label3;
    QLabel* Label1;
    QLabel* Label2;
    QPushButton* btStop;
    bool closed_ = false;
    bool placed_ = false;
};

}  // namespace dw
