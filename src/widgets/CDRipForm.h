#pragma once
// TfrmCDRip: the modal progress window of a ripper-mode rip. It draws what
// the rip engine tells its TJobView: the track under way, the output format,
// the number of selected and completed tracks, the hint over the gauge (with
// the gauge's tooltip) and the gauge. Stop and the close request ask the
// engine to stop; the engine's Closed() closes the window. Unlike the other
// windows it keeps its English texts in every language.
//
// It shows itself on the first thing it is told. Main thread only.

#include "runner/JobView.h"

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;

namespace dw {

class FlatGauge;

class TfrmCDRip : public QDialog, public TJobView {
    Q_OBJECT
public:
    explicit TfrmCDRip(QWidget* owner);

    std::function<void()> StopRequested;
    bool JobClosed() const { return closed_; }

    // TJobView
    void StageStarted(const TJobStage& stage) override;
    void Heading(const QString& text) override;
    void StatusText(const QString& text, bool visible) override;
    void Gauge(int percent) override;
    void ShowPercent(bool show) override;
    void ItemFinished(const TJobItemResult& result) override;
    void Closed() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void appear();
    void requestStop();

    QWidget* owner_;
    QLabel* lCurrentTrack;
    QLabel* lOutputFormat;
    QLabel* lSelectedTracks;
    QLabel* lCompleted;
    QLabel* lProgressHint;
    FlatGauge* ProgressBar2;
    QPushButton* bStop;
    int completed_ = 0;
    bool closed_ = false;
};

}  // namespace dw
