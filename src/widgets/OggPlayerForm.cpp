#include "widgets/OggPlayerForm.h"

#include "platform/Dialogs.h"
#include "platform/MainThread.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include <exception>

namespace dw {

namespace {

const char kOggFilter[] = "Sound file(*.ogg)|*.ogg| Any file(*.*)|*.*";

template <typename W>
W* named(W* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

}  // namespace

TfrmOggPlayer::TfrmOggPlayer(QWidget* parent)
    : TranslatedDialog(parent),
      BitBtn1(named(new QPushButton(QStringLiteral("&Open..."), this), "BitBtn1")),
      BitBtn2(named(new QPushButton(QStringLiteral("&Pause"), this), "BitBtn2")),
      BitBtn3(named(new QPushButton(QStringLiteral("&Stop"), this), "BitBtn3")),
      BitBtn4(named(new QPushButton(QStringLiteral("&Close"), this), "BitBtn4")),
      lFileName(named(new QLabel(QStringLiteral("-"), this), "lFileName")),
      lSampleRate(named(new QLabel(QStringLiteral("0 bps"), this), "lSampleRate")),
      lTotalTime(named(new QLabel(QStringLiteral("0:00"), this), "lTotalTime")),
      lCurrentTime(named(new QLabel(QStringLiteral("0:00"), this), "lCurrentTime")),
      lBalance(named(new QLabel(QStringLiteral("Balance"), this), "lBalance")),
      TrackBar1(named(new QSlider(Qt::Horizontal, this), "TrackBar1")),
      TrackBar2(named(new QSlider(Qt::Horizontal, this), "TrackBar2")),
      Memo1(named(new QPlainTextEdit(this), "Memo1")),
      Timer2(named(new QTimer(this), "Timer2"))
{
    setObjectName(QStringLiteral("frmOggPlayer"));
    setWindowTitle(QStringLiteral("Ogg Player"));
    BitBtn1->setToolTip(QStringLiteral("Press to open and play ogg file."));
    TrackBar1->setRange(0, 100);
    TrackBar1->setEnabled(false);
    TrackBar2->setRange(0, TOggPlayer::kBalancePositions);
    TrackBar2->setValue(TOggPlayer::kBalancePositions / 2);
    TrackBar2->setTickPosition(QSlider::TicksBelow);
    Memo1->setReadOnly(true);
    Timer2->setInterval(TOggPlayer::kTimerMs);

    auto* times = new QHBoxLayout;
    times->addWidget(lCurrentTime);
    times->addWidget(TrackBar1, 1);
    times->addWidget(lTotalTime);
    auto* info = new QHBoxLayout;
    info->addWidget(lFileName, 1);
    info->addWidget(lSampleRate);
    auto* balance = new QHBoxLayout;
    balance->addWidget(lBalance);
    balance->addWidget(TrackBar2, 1);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {BitBtn1, BitBtn2, BitBtn3, BitBtn4})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(info);
    layout->addLayout(times);
    layout->addLayout(balance);
    layout->addWidget(Memo1, 1);
    layout->addLayout(buttons);
    resize(420, 300);

    TDXAudioOut& out = player_.DXAudioOut1();
    out.OnProgress = [this](TAuOutput*) { outputProgress(); };
    out.OnDone = [this](TAuOutput*) { outputDone(); };

    connect(BitBtn1, &QPushButton::clicked, this, &TfrmOggPlayer::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TfrmOggPlayer::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TfrmOggPlayer::BitBtn3Click);
    connect(BitBtn4, &QPushButton::clicked, this, &TfrmOggPlayer::BitBtn4Click);
    connect(Timer2, &QTimer::timeout, this, &TfrmOggPlayer::timer2Timer);
    // A move by the user jumps; the bar following the progress does not,
    // and a drag jumps once, when the bar is let go.
    connect(TrackBar1, &QSlider::valueChanged, this, [this](int p) {
        if (!settingBar_ && !TrackBar1->isSliderDown())
            positionMoved(p);
    });
    connect(TrackBar1, &QSlider::sliderReleased, this, [this] { positionMoved(TrackBar1->value()); });
    connect(TrackBar2, &QSlider::valueChanged, this, [this](int p) { player_.SetBalancePosition(p); });
}

TfrmOggPlayer::~TfrmOggPlayer()
{
    // No event of the output may reach a window being destroyed.
    player_.DXAudioOut1().Stop(false);
}

void TfrmOggPlayer::BitBtn1Click()
{
    try {
        const QString file = CurrentDialogs().chooseOpenFile(QString(), QString(), QLatin1String(kOggFilter));
        if (file.isEmpty())
            return;
        if (!player_.OpenAndPlay(file)) {
            CurrentDialogs().message(QStringLiteral("Ogg file is not valid."), QString());
            return;
        }
        BitBtn1->setEnabled(false);
        lFileName->setText(player_.FileTitle());
        Timer2->start();
        lSampleRate->setText(player_.SampleRateText());
        lTotalTime->setText(player_.TotalTimeText());
        TrackBar1->setEnabled(true);
        Memo1->clear();
        for (const QString& line : player_.CommentLines())
            Memo1->appendPlainText(line);
    } catch (const std::exception&) {
        // Failures of opening and playing end the click without a message.
    }
}

void TfrmOggPlayer::BitBtn2Click()
{
    if (player_.TogglePause())
        Timer2->start();
    else
        Timer2->stop();
}

void TfrmOggPlayer::BitBtn3Click()
{
    player_.Stop();
    Timer2->stop();
}

void TfrmOggPlayer::BitBtn4Click()
{
    BitBtn3Click();
    closing_ = true;
    // The stop is asynchronous: wait for the worker to wind the run up,
    // serving the events it waits on meanwhile.
    QElapsedTimer waited;
    waited.start();
    while (player_.Status() != 2 && waited.elapsed() < 10000) {
        CheckSynchronize();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    QMetaObject::invokeMethod(this, &QDialog::close, Qt::QueuedConnection);
}

void TfrmOggPlayer::reject()
{
    if (closing_)
        TranslatedDialog::reject();
    else
        BitBtn4Click();
}

void TfrmOggPlayer::closeEvent(QCloseEvent* event)
{
    if (closing_) {
        TranslatedDialog::closeEvent(event);
        return;
    }
    event->ignore();
    BitBtn4Click();
}

void TfrmOggPlayer::outputProgress()
{
    settingBar_ = true;
    TrackBar1->setValue(player_.Progress());
    settingBar_ = false;
}

void TfrmOggPlayer::outputDone()
{
    BitBtn1->setEnabled(true);
    TrackBar1->setEnabled(false);
    Timer2->stop();
}

void TfrmOggPlayer::timer2Timer()
{
    player_.Tick();
    lCurrentTime->setText(player_.ElapsedText());
}

void TfrmOggPlayer::positionMoved(int p)
{
    if (player_.Status() == 2)
        return;
    player_.MoveTo(p);
}

}  // namespace dw
