#include "record/Recorder.h"

#include "app/ResourceText.h"
#include "platform/Dialogs.h"
#include "platform/FileSharing.h"
#include "platform/NativePath.h"
#include "platform/VolumeMixer.h"
#include "record/RecordFiles.h"
#include "record/RecordTexts.h"

#include <QFileInfo>


namespace dw {

namespace {

constexpr char IdleState[] = "-----------";
constexpr char PlayingState[] = "Playing...";
constexpr char RecordOverState[] = "Record over!";
constexpr char SoundFilter[] = "Sound file(*.wav)|*.wav|All files(*.*)|*.*";
constexpr char OpenTitle[] = "Please select a sound file to open";

// The path with its extension (from the last full stop of the name) replaced.
QString withExtension(const QString& path, const QString& ext)
{
    const QFileInfo info(path);
    const QString name = info.fileName();
    const int dot = name.lastIndexOf('.');
    const QString stem = dot < 0 ? name : name.left(dot);
    return path.left(path.size() - name.size()) + stem + ext;
}

}  // namespace

const char* TRecorder::NoNameFileName()
{
    return dw::NoNameFileName;
}

TRecorder::TRecorder(TRecordView& view, int cdHandle, bool mp3Format, QObject* parent)
    : QObject(parent), view_(view), cdHandle_(cdHandle), folder_(RecorderWorkFolder()), mp3Format_(mp3Format)
{
    workFile_ = folder_ + WorkFileName;
    timer1_.setInterval(500);
    timerRecord_.setInterval(100);
    connect(&timer1_, &QTimer::timeout, this, &TRecorder::playTimerTick);
    connect(&timerRecord_, &QTimer::timeout, this, &TRecorder::recordTimerTick);
    stopTimer_.setSingleShot(true);
    connect(&stopTimer_, &QTimer::timeout, this, [this] {
        finishRecording([this](const QString& saveError) { showError(saveError); });
    });
    connect(&device_, &TWaveAudioDevice::deviceFailed, this, &TRecorder::deviceFailed);
    connect(&device_, &TWaveAudioDevice::recordingStopped, this, [this] {
        if (stopping_)
            recordingEnded(true, std::exchange(whenStopped_, {}));
    });
    setState(IdleState);
    setButtons(0);
}

TRecorder::~TRecorder()
{
    WaitForStop();
    device_.disconnect(this);  // the members' own closing tells nothing here
}

void TRecorder::WaitForStop()
{
    if (stopping_)
        device_.WaitForStop();  // its notice ends the stop and runs what waited
}

bool TRecorder::isNoName() const
{
    return !currentFile_.isEmpty() && currentFile_ == NoNameFile();
}

bool TRecorder::CanUndo() const
{
    return modified_ && state_ != ResourceText(res::RecordingStr) && !currentFile_.isEmpty() && !isNoName();
}

void TRecorder::setButtons(unsigned b)
{
    buttons_ = b;
    view_.SetButtons(b);
}

void TRecorder::setTrackBar(int position)
{
    trackBar_ = std::clamp(position, 0, kTrackMax);
    view_.SetTrackBar(trackBar_);
}

void TRecorder::setState(const QString& text)
{
    state_ = text;
    view_.SetState(text);
}

bool TRecorder::loadFile(const QString& path)
{
    Dialogs& dialogs = CurrentDialogs();
    currentFile_ = path;
    device_.Close();
    QString error;
    if (!CopyWholeFile(currentFile_, workFile_, &error)) {
        dialogs.error(ResourceText(res::Save_Fail) + "\n" + error);
        return false;
    }
    if (!device_.Open(workFile_)) {
        dialogs.error(ResourceText(res::MCI_Init_Fail) + "\n" + device_.Error());
        return false;
    }
    setButtons(mbPlay | mbNext | mbRecord);
    view_.SetLengthText(LengthText(device_.Length()));
    view_.SetCaption(ResourceText(res::TitleStr) + "(" + path + ")");
    return true;
}

QString TRecorder::chooseSaveName(bool deleteExisting)
{
    Dialogs& dialogs = CurrentDialogs();
    const QString chosen = dialogs.chooseSaveFile(QString(), folder_, SoundFilter, QStringLiteral("wav"));
    if (chosen.isEmpty())
        return {};
    if (QFileInfo(chosen).suffix().toLower() != QLatin1String("wav")) {
        dialogs.information(ResourceText(res::Wav_File));
        return {};
    }
    // The work files are the recorder's own: saving onto them would lose the recording.
    if (SameFile(chosen, NoNameFile()) || SameFile(chosen, workFile_)) {
        dialogs.error(ResourceText(res::Save_Fail));
        return {};
    }
    if (PathExists(chosen)) {
        if (!dialogs.askYesNo(chosen + ResourceText(res::File_Exist)))
            return {};
        if (deleteExisting && !RemoveFile(chosen)) {
            dialogs.error(ResourceText(res::Delete_Fail));
            return {};
        }
    }
    return chosen;
}

bool TRecorder::askToSave(bool askMode)
{
    Dialogs& dialogs = CurrentDialogs();
    if (currentFile_.isEmpty())
        return true;
    if (!modified_ && (askMode || !isNoName()))
        return true;
    if (modified_ && askMode) {
        const QString name = isNoName() ? ResourceText(res::NoNameStr) : currentFile_;
        const Answer answer = dialogs.askYesNoCancel(name + ResourceText(res::Have_Modify));
        if (answer == Answer::Cancel)
            return false;
        if (answer == Answer::No) {
            modified_ = false;
            return true;
        }
    }
    if (!isNoName()) {
        // The device keeps nothing open between calls: the working copy is whole.
        device_.Close();
        QString error;
        const bool copied = CopyWholeFile(workFile_, currentFile_, &error);
        if (!device_.Open(workFile_) || !copied) {
            dialogs.error(ResourceText(res::Save_Fail) + "\n" + (copied ? device_.Error() : error));
            return false;
        }
        modified_ = false;
        runMp3();
        return true;
    }
    const QString chosen = chooseSaveName(true);
    if (chosen.isEmpty())
        return false;
    device_.Close();
    if (PathExists(workFile_))
        RemoveFile(workFile_);
    QString error;
    if (!session_.KeepAs(chosen, &error)) {
        dialogs.error(ResourceText(res::Save_Fail) + "\n" + error);
        device_.Open(NoNameFile());  // the recording stays where it was
        return false;
    }
    modified_ = false;
    if (loadFile(chosen))
        runMp3();
    return true;
}

void TRecorder::New()
{
    if (stopFirst([this] { New(); }))
        return;
    if (!askToSave(true))
        return;
    const std::optional<TWaveAudioFormat> format = view_.AskNewFileFormat();
    if (!format)
        return;
    currentFile_ = NoNameFile();
    device_.Close();
    QString error;
    if (!session_.Begin(currentFile_, *format, &error)) {
        CurrentDialogs().error(ResourceText(res::MCI_Init_Fail) + "\n" + error);
        setButtons(0);
    } else {
        setButtons(mbRecord);
    }
    modified_ = false;
    view_.SetRecordTime(ZeroRecordTime);
    view_.SetLengthText(ZeroLengthText);
    view_.SetPositionText(ZeroLengthText);
    view_.SetCaption(ResourceText(res::TitleStr) + "(" + ResourceText(res::NoNameStr) + ")");
    setTrackBar(0);
    mp3Done_ = false;
}

void TRecorder::Open()
{
    if (stopFirst([this] { Open(); }))
        return;
    if (!askToSave(true))
        return;
    Dialogs& dialogs = CurrentDialogs();
    for (;;) {
        const QStringList files = dialogs.chooseOpenFiles(OpenTitle, folder_, SoundFilter, false);
        if (files.isEmpty() || files.front() == currentFile_)
            return;
        const QString file = files.front();
        if (PathExists(file)) {
            view_.SetCaption(ResourceText(res::TitleStr) + "(" + file + ")");
            setTrackBar(0);
            mp3Done_ = false;
            modified_ = false;
            loadFile(file);
            return;
        }
        dialogs.warning(file + "\n" + QString::fromUtf8("Could not be found\uFF01") + "\n" +
                        ResourceText(res::Check_FileName));
    }
}

void TRecorder::Save()
{
    if (stopFirst([this] { Save(); }))
        return;
    (void)askToSave(false);
}

void TRecorder::SaveAs()
{
    if (stopFirst([this] { SaveAs(); }))
        return;
    Dialogs& dialogs = CurrentDialogs();
    const QString chosen = chooseSaveName(false);
    if (chosen.isEmpty())
        return;
    device_.Close();
    QString error;
    const bool ok = isNoName() ? session_.KeepAs(chosen, &error) : CopyWholeFile(currentFile_, chosen, &error);
    if (!ok) {
        dialogs.error(ResourceText(res::Save_Fail) + "\n" + error);
        device_.Open(isNoName() ? NoNameFile() : workFile_);
        return;
    }
    if (loadFile(chosen))
        runMp3();
}

void TRecorder::Undo()
{
    if (deferred(&TRecorder::Undo))
        return;
    if (!CanUndo())
        return;
    Dialogs& dialogs = CurrentDialogs();
    if (!dialogs.askYesNo(ResourceText(res::Discard_Modify)))
        return;
    device_.Close();
    QString error;
    if (!CopyWholeFile(currentFile_, workFile_, &error)) {
        dialogs.error(ResourceText(res::Save_Fail) + "\n" + error);
    }
    if (!device_.Open(workFile_)) {
        dialogs.error(ResourceText(res::MCI_Init_Fail) + "\n" + device_.Error());
        return;
    }
    modified_ = false;
    setButtons(mbPlay | mbNext | mbRecord);
    view_.SetLengthText(LengthText(device_.Length()));
    view_.SetPositionText(LengthText(device_.Length()));
}

void TRecorder::RecordingControl()
{
    StartVolumeMixer();  // like the volume control of the main window, nothing is said when none starts
}

void TRecorder::runMp3()
{
    if (!mp3Format_ || currentFile_.isEmpty())
        return;
    Dialogs& dialogs = CurrentDialogs();
    if (cdHandle_ == 0) {
        dialogs.information(ResourceText(res::Get_CDHandle));
        view_.CloseWindow();
        return;
    }
    const QString mp3 = withExtension(currentFile_, ".mp3");
    if (!mp3Done_) {
        if (PathExists(mp3) && !dialogs.askYesNo(mp3 + ResourceText(res::File_Exist)))
            return;
        if (FileInUse(mp3)) {
            dialogs.error(mp3 + ResourceText(res::File_Cannot_Create));
            return;
        }
    }
    mp3Done_ = true;
    // The job's kind makes MP3 whatever the stored output format is; that
    // setting is the main window's and stays as the user chose it.
    view_.RunJob(jkRecordingToMp3, cdHandle_, {currentFile_});
}

void TRecorder::Close(std::function<void()> closed)
{
    timer1_.stop();
    if (stopFirst([this, closed] { Close(closed); }))
        return;
    askToSave(true);  // the answer does not stop the closing
    device_.Close();
    if (PathExists(workFile_))
        RemoveFile(workFile_);
    if (closed)
        closed();
}

void TRecorder::PlayClick()
{
    if (deferred(&TRecorder::PlayClick))
        return;
    if (trackBar_ == kTrackMax)
        setTrackBar(0);
    std::optional<int64_t> from;
    if (!timer1_.isActive()) {
        playPosition_ = device_.Length() * trackBar_ / kTrackMax;
        from = playPosition_;
    }
    setState(PlayingState);
    setButtons(mbPause | mbStop | mbNext | mbPrev);
    timer1_.start();
    if (!device_.Play(from)) {
        timer1_.stop();
        setState(IdleState);
        setButtons(mbPlay | mbNext | mbPrev | mbRecord);
        CurrentDialogs().error(ResourceText(res::MCI_Init_Fail) + "\n" + device_.Error());
    }
}

void TRecorder::finishRecording(TRecordingEnded done)
{
    stopTimer_.stop();
    if (timerRecord_.isActive()) {
        recordTimerTick();
        timerRecord_.stop();
    }
    const bool recording = device_.GetMode() == TWaveAudioDevice::Mode::Recording;
    if (recording) {
        session_.Stop();
        if (session_.Stopping()) {
            // The device's worker writes the last audio on its own thread;
            // the window goes on, with no button to press, until it has.
            stopping_ = true;
            whenStopped_ = std::move(done);
            setButtons(0);
            return;
        }
    }
    recordingEnded(recording || device_.Pending(), done);
}

void TRecorder::recordingEnded(bool recorded, const TRecordingEnded& done)
{
    stopping_ = false;
    setButtons(mbPlay | mbNext | mbPrev | mbRecord);
    setState(IdleState);
    QString message;
    if (recorded) {
        QString error;
        const bool saved = session_.Finish(&error);
        setTrackBar(kTrackMax);
        view_.SetLengthText(LengthText(device_.Length()));
        setState(RecordOverState);
        if (!saved)
            message = ResourceText(res::Save_Error) + "\n" + error;
    } else {
        device_.Stop();
    }
    if (done)
        done(message);
    runAfterStop();
}

bool TRecorder::stopFirst(std::function<void()> again)
{
    if (stopping_) {
        afterStop_.push_back(std::move(again));
        return true;
    }
    if (!(buttons_ & mbStop) && !stopTimer_.isActive())
        return false;
    afterStop_.push_back(std::move(again));
    setTrackBar(0);
    timer1_.stop();
    finishRecording([this](const QString& saveError) { showError(saveError); });
    return true;
}

bool TRecorder::deferred(void (TRecorder::*command)())
{
    if (!stopping_)
        return false;
    afterStop_.push_back([this, command] { (this->*command)(); });
    return true;
}

void TRecorder::runAfterStop()
{
    while (!afterStop_.empty() && !stopping_) {
        std::function<void()> next = std::move(afterStop_.front());
        afterStop_.erase(afterStop_.begin());
        next();
    }
}

void TRecorder::showError(const QString& text)
{
    if (!text.isEmpty())
        CurrentDialogs().error(text);
}

void TRecorder::StopClick()
{
    setTrackBar(0);
    timer1_.stop();
    if (StopPending())
        return;
    if (timerRecord_.isActive() && recordMsec_ > 100) {
        // The recording runs on to the next whole second of the record
        // clock; the window stays responsive meanwhile, with no button to press.
        setButtons(0);
        stopTimer_.start(1000 - recordMsec_);
        return;
    }
    finishRecording([this](const QString& saveError) { showError(saveError); });
}

void TRecorder::NextClick()
{
    if (deferred(&TRecorder::NextClick))
        return;
    setTrackBar(kTrackMax);
    setButtons(mbPlay | mbPrev | mbRecord);
    timer1_.stop();
    device_.Stop();
}

void TRecorder::PrevClick()
{
    if (deferred(&TRecorder::PrevClick))
        return;
    setTrackBar(0);
    setButtons(mbPlay | mbNext | mbRecord);
    timer1_.stop();
    device_.Stop();
}

void TRecorder::RecordClick()
{
    if (deferred(&TRecorder::RecordClick))
        return;
    const int64_t from =
        PathExists(workFile_) ? device_.Length() * trackBar_ / kTrackMax : device_.Position();
    recordStart_.start();
    recordMsec_ = 0;
    timerRecord_.start();
    QString error;
    if (!session_.Record(from, std::nullopt, &error)) {
        timerRecord_.stop();
        CurrentDialogs().error(ResourceText(res::MCI_Init_Fail) + "\n" + error);
        return;
    }
    setButtons(mbStop);
    setState(ResourceText(res::RecordingStr));
    modified_ = true;
}

void TRecorder::TrackBarMoved(int position)
{
    trackBar_ = std::clamp(position, 0, kTrackMax);
    const int64_t length = device_.Length();
    if (device_.IsOpen() && length > 0)
        view_.SetPositionText(LengthText(length * trackBar_ / kTrackMax));
}

void TRecorder::playTimerTick()
{
    playPosition_ += 500;
    const int64_t length = device_.Length();
    if (playPosition_ < length) {
        setTrackBar(int(playPosition_ * kTrackMax / length));
        return;
    }
    setTrackBar(kTrackMax);
    timer1_.stop();
    setButtons(mbPlay | mbPrev | mbRecord);
    setState(IdleState);
}

void TRecorder::recordTimerTick()
{
    const int64_t elapsed = recordStart_.elapsed();
    view_.SetRecordTime(RecordTimeText(elapsed));
    recordMsec_ = int(elapsed % 1000);
}

void TRecorder::deviceFailed(const QString& reason)
{
    // The state follows at once; the message box opens once this notice of
    // the device has been handled, not inside it.
    if (timerRecord_.isActive() || device_.Pending()) {
        // A recording that ended by itself: what reached the disk is saved.
        setTrackBar(0);
        timer1_.stop();
        finishRecording([this, reason](const QString& saveError) {
            const QString text = saveError.isEmpty() ? ResourceText(res::Save_Error) + "\n" + reason : saveError;
            QMetaObject::invokeMethod(this, [this, text] { showError(text); }, Qt::QueuedConnection);
        });
        return;
    }
    timer1_.stop();
    setTrackBar(0);
    setButtons(mbPlay | mbNext | mbPrev | mbRecord);
    setState(IdleState);
    const QString text = ResourceText(res::MCI_Init_Fail) + "\n" + reason;
    QMetaObject::invokeMethod(this, [this, text] { showError(text); }, Qt::QueuedConnection);
}

}  // namespace dw
