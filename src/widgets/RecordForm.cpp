#include "widgets/RecordForm.h"

#include "app/Settings.h"
#include "record/Recorder.h"
#include "runner/RunJob.h"
#include "widgets/LinkLabel.h"
#include "widgets/NewRecordFileForm.h"
#include "widgets/ProductLinks.h"
#include "widgets/RipForm.h"
#include "widgets/StartButton.h"
#include "widgets/TranslateForm.h"

#include <QEventLoop>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <exception>

namespace dw {

namespace {

QLabel* label(const char* name, const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

}  // namespace

TfrmRecord::TfrmRecord(QWidget* owner, int cdHandle)
    : TranslatedDialog(owner),
      GroupBox1(new QGroupBox(QStringLiteral("Record"), this)),
      lbState(label("lbState", QStringLiteral("-----------"), GroupBox1)),
      TrackBar1(new QSlider(Qt::Horizontal, GroupBox1)),
      lbPosition(label("lbPosition", QString(), GroupBox1)),
      lbLength(label("lbLength", QString(), GroupBox1)),
      panRecordTime(label("panRecordTime", QStringLiteral("00:00:00.0"), GroupBox1)),
      btStart(new StartButton(QStringLiteral("Start"), this))
{
    setObjectName(QStringLiteral("frmRecord"));
    setWindowTitle(QStringLiteral("Record"));
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    btStart->setObjectName(QStringLiteral("btStart"));
    btStart->setPopupMode(QToolButton::InstantPopup);  // the button opens the window's menu
    // The state and time texts come from the engine, already in the language.
    for (QLabel* l : {lbState, lbPosition, lbLength, panRecordTime})
        l->setProperty(NoTranslateProperty, true);
    panRecordTime->setToolTip(QStringLiteral("The time length of current recording"));
    panRecordTime->setFrameShape(QFrame::Panel);
    panRecordTime->setFrameShadow(QFrame::Sunken);
    panRecordTime->setAlignment(Qt::AlignCenter);
    QFont clock = panRecordTime->font();
    clock.setPointSizeF(clock.pointSizeF() * 1.6);
    clock.setBold(true);
    panRecordTime->setFont(clock);

    TrackBar1->setObjectName(QStringLiteral("TrackBar1"));
    TrackBar1->setRange(0, TRecorder::kTrackMax);
    TrackBar1->setTickInterval(40);
    TrackBar1->setTickPosition(QSlider::TicksBelow);

    // The media-player control: its buttons are not translated.
    auto* bar = new QHBoxLayout;
    const struct {
        TMediaButton button;
        const char* name;
        const char* tip;
        QStyle::StandardPixmap icon;
    } media[] = {
        {mbPlay, "btPlay", "Play", QStyle::SP_MediaPlay},
        {mbPause, "btPause", "Pause", QStyle::SP_MediaPause},
        {mbStop, "btStop", "Stop", QStyle::SP_MediaStop},
        {mbNext, "btNext", "Next", QStyle::SP_MediaSkipForward},
        {mbPrev, "btPrev", "Previous", QStyle::SP_MediaSkipBackward},
        {mbStep, "btStep", "Step", QStyle::SP_MediaSeekForward},
        {mbBack, "btBack", "Back", QStyle::SP_MediaSeekBackward},
        {mbRecord, "btRecord", "Record", QStyle::SP_DialogYesButton},
    };
    for (const auto& m : media) {
        auto* b = new QToolButton(GroupBox1);
        b->setObjectName(QString::fromLatin1(m.name));
        b->setProperty(NoTranslateProperty, true);
        b->setToolTip(QString::fromLatin1(m.tip));
        b->setIcon(style()->standardIcon(m.icon));
        if (m.button == mbRecord) {
            b->setText(QStringLiteral("\u25CF"));
            b->setToolButtonStyle(Qt::ToolButtonTextOnly);
            b->setStyleSheet(QStringLiteral("QToolButton:enabled { color: rgb(200,0,0); }"));
        }
        // The media-player control shows Play, Stop, Next, Previous, Step, Back and Record.
        b->setVisible(m.button != mbPause);
        bar->addWidget(b);
        buttons_[m.button] = b;
    }
    bar->addStretch();

    recorder_ = std::make_unique<TRecorder>(*this, cdHandle, AppSettings.SaveMp3);
    connect(buttons_[mbPlay], &QToolButton::clicked, recorder_.get(), &TRecorder::PlayClick);
    connect(buttons_[mbStop], &QToolButton::clicked, recorder_.get(), &TRecorder::StopClick);
    connect(buttons_[mbNext], &QToolButton::clicked, recorder_.get(), &TRecorder::NextClick);
    connect(buttons_[mbPrev], &QToolButton::clicked, recorder_.get(), &TRecorder::PrevClick);
    connect(buttons_[mbRecord], &QToolButton::clicked, recorder_.get(), &TRecorder::RecordClick);
    connect(TrackBar1, &QSlider::valueChanged, this, [this](int v) {
        if (TrackBar1->isSliderDown() || v != recorder_->TrackBar())
            recorder_->TrackBarMoved(v);
    });

    auto* grid = new QGridLayout(GroupBox1);
    grid->addWidget(lbState, 0, 0, 1, 4);
    grid->addLayout(bar, 1, 0, 1, 4);
    grid->addWidget(TrackBar1, 2, 0, 1, 4);
    grid->addWidget(label("Label1", QStringLiteral("Position"), GroupBox1), 3, 0);
    grid->addWidget(lbPosition, 3, 1);
    grid->addWidget(label("Label2", QStringLiteral("Length"), GroupBox1), 3, 2);
    grid->addWidget(lbLength, 3, 3);
    grid->addWidget(panRecordTime, 4, 0, 1, 4);

    auto* link = new LinkLabel(QStringLiteral("Discwright home page"), HomePageUrl(), this);
    link->setObjectName(QStringLiteral("lbHomePage"));
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(btStart);
    bottom->addStretch();
    bottom->addWidget(link);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addLayout(bottom);
    setMinimumWidth(380);

    buildMenu();
    SetButtons(recorder_->Buttons());
}

TfrmRecord::~TfrmRecord()
{
    destroying_ = true;
    if (!closing_)
        closeRecorder({});
    // No event loop follows: a recording still being stopped is waited for
    // here, so the closing step (and its question) ends before the window goes.
    recorder_->WaitForStop();
}

void TfrmRecord::closeRecorder(std::function<void()> then)
{
    closing_ = true;
    recorder_->Close([this, then = std::move(then)] {
        closed_ = true;
        // The window keeps the "MP3 format" tick in the settings.
        AppSettings.SaveMp3 = recorder_->Mp3Format();
        if (then && !destroying_)
            then();
    });
}

void TfrmRecord::buildMenu()
{
    QMenu* menu = btStart->popup();
    auto item = [&](const char* name, const char* text) {
        QAction* a = menu->addAction(QString::fromUtf8(text));
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    miNew = item("miNew", "&New...");
    miOpen = item("miOpen", "&Open...");
    miSave = item("miSave", "&Save");
    miSaveAs = item("miSaveAs", "Save &As...");
    miUndo = item("miUndo", "&Undo");
    menu->addSeparator();
    miRecordingControl = item("miRecordingControl", "&Recording Control...");
    menu->addSeparator();
    miMp3Format = item("miMp3Format", "&MP3 format");
    miMp3Format->setCheckable(true);
    miMp3Format->setChecked(recorder_->Mp3Format());
    menu->addSeparator();
    miExit = item("miExit", "&Exit");

    TRecorder* r = recorder_.get();
    connect(miNew, &QAction::triggered, r, &TRecorder::New);
    connect(miOpen, &QAction::triggered, r, &TRecorder::Open);
    connect(miSave, &QAction::triggered, r, &TRecorder::Save);
    connect(miSaveAs, &QAction::triggered, r, &TRecorder::SaveAs);
    connect(miUndo, &QAction::triggered, r, &TRecorder::Undo);
    connect(miRecordingControl, &QAction::triggered, r, &TRecorder::RecordingControl);
    connect(miMp3Format, &QAction::toggled, r, &TRecorder::SetMp3Format);
    connect(miExit, &QAction::triggered, this, &QDialog::close);
    connect(menu, &QMenu::aboutToShow, this, &TfrmRecord::updateMenu);
    updateMenu();
}

void TfrmRecord::updateMenu()
{
    if (!recorder_ || !miSave)
        return;  // the engine draws its first state while both are being made
    miSave->setEnabled(recorder_->CanSave());
    miSaveAs->setEnabled(recorder_->CanSave());
    miUndo->setEnabled(recorder_->CanUndo());
}

void TfrmRecord::SetCaption(const QString& text)
{
    setWindowTitle(text);
}

void TfrmRecord::SetState(const QString& text)
{
    lbState->setText(text);
    updateMenu();
}

void TfrmRecord::SetButtons(unsigned enabled)
{
    for (auto& [button, widget] : buttons_)
        widget->setEnabled((enabled & button) != 0);
    updateMenu();
}

void TfrmRecord::SetTrackBar(int position)
{
    const QSignalBlocker block(TrackBar1);  // the engine set it: not a move by the user
    TrackBar1->setValue(position);
}

void TfrmRecord::SetPositionText(const QString& text)
{
    lbPosition->setText(text);
}

void TfrmRecord::SetLengthText(const QString& text)
{
    lbLength->setText(text);
}

void TfrmRecord::SetRecordTime(const QString& text)
{
    panRecordTime->setText(text);
}

std::optional<TWaveAudioFormat> TfrmRecord::AskNewFileFormat()
{
    TfrmNewRecordFile dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.Format();
}

void TfrmRecord::RunJob(TJobKind kind, int cdHandle, const QStringList& items)
{
    try {
        TRipForm form(this);
        TJobRunOptions options;
        form.StopRequested = [cancel = options.cancel] { cancel.Cancel(); };
        QEventLoop loop;
        bool ended = false;
        dw::RunJob(kind, cdHandle, items, TJobConfig::FromSettings(AppSettings), form, [&](const TJobSummary&) {
            ended = true;
            loop.quit();
        }, options);
        form.RunModal();
        if (!ended)
            loop.exec();
    } catch (const std::exception&) {
        // A job that fails ends without a message of its own, like the main window's conversions.
    }
}

void TfrmRecord::CloseWindow()
{
    // Asked from inside a menu command: the window closes once that has returned.
    QTimer::singleShot(0, this, &QDialog::close);
}

void TfrmRecord::done(int result)
{
    if (closed_) {
        TranslatedDialog::done(result);
        return;
    }
    // A running recording is stopped first: the window closes once the
    // closing step has ended, and asks to close meanwhile change nothing.
    if (!closing_)
        closeRecorder([this, result] { TranslatedDialog::done(result); });
}

}  // namespace dw
