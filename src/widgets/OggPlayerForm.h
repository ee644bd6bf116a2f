#pragma once
// TfrmOggPlayer: the modal "Ogg Player" window. It binds its controls to the
// player engine (TOggPlayer): open-and-play, pause/resume, stop, the
// position bar that jumps, the balance bar, the elapsed-time timer and the
// file's comments. Closing waits until the output is idle.

#include "player/OggPlayer.h"
#include "widgets/TranslatedDialog.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QTimer;

namespace dw {

class TfrmOggPlayer : public TranslatedDialog {
    Q_OBJECT
public:
    explicit TfrmOggPlayer(QWidget* parent = nullptr);
    ~TfrmOggPlayer() override;

    TOggPlayer& Player() { return player_; }

    // The buttons' actions, as the window runs them.
    void BitBtn1Click();  // open and play
    void BitBtn2Click();  // pause / resume
    void BitBtn3Click();  // stop
    void BitBtn4Click();  // close

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void outputProgress();
    void outputDone();
    void timer2Timer();
    void positionMoved(int p);

    TOggPlayer player_;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
    QPushButton* BitBtn3;
    QPushButton* BitBtn4;
    QLabel* lFileName;
    QLabel* lSampleRate;
    QLabel* lTotalTime;
    QLabel* lCurrentTime;
    QLabel* lBalance;
    QSlider* TrackBar1;  // position 0..100
    QSlider* TrackBar2;  // balance 0..10
    QPlainTextEdit* Memo1;
    QTimer* Timer2;
    bool settingBar_ = false;
    bool closing_ = false;
};

}  // namespace dw
