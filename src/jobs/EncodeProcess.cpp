#include "jobs/EncodeProcess.h"

#include "app/ResourceText.h"
#include "jobs/ChildProcess.h"
#include "jobs/EncodeThread.h"
#include "platform/Dialogs.h"
#include "platform/FileSharing.h"
#include "platform/MainThread.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <system_error>
#include <thread>

namespace dw {

namespace {

// How long the main thread waits for a killed child to be gone before the
// next item may start.
constexpr int KillWaitMs = 2000;

QString describeExit(const ChildExit& e)
{
    if (e.exited)
        return QStringLiteral("The encoder ended with exit status %1.").arg(e.exitCode);
    return QStringLiteral("The encoder was ended by signal %1.").arg(e.signal);
}

}  // namespace

TEncodeProcess::TEncodeProcess() = default;

TEncodeProcess::~TEncodeProcess()
{
    const std::shared_ptr<EncodeSession> last = session_;
    if (Running)
        Kill(0);
    else if (endSession())
        removePartialOutput();
    // Let the thread wind down while this object's program still runs, so it
    // is not left blocked on the main thread at the end of the process.
    if (last)
        waitForThread(last);
}

void TEncodeProcess::waitForThread(const std::shared_ptr<EncodeSession>& session)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!session->threadDone.load() && std::chrono::steady_clock::now() < until) {
        if (!CheckSynchronize())
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void TEncodeProcess::Start()
{
    // A child of an earlier item that was neither finished nor killed (a
    // caller error) must not report into this item.
    if (endSession())
        removePartialOutput();

    if (asksBeforeOverwrite() && QFileInfo::exists(OutputFile)) {
        const Answer a = CurrentDialogs().messageBox(OutputFile + ResourceText(res::File_Exist), ProductCaption(),
                                                     MessageIcon::Information, MessageButtons::YesNo, Answer::Yes);
        if (a != Answer::Yes) {
            reportCompletion(ENC_RESULT_SKIPPED);
            return;
        }
        if (FileInUse(OutputFile)) {
            reportCompletion(ENC_RESULT_IN_USE);
            return;
        }
    }

    const QString program = locateProgram();
    if (program.isEmpty() && reportMissingProgram())
        return;

    auto session = std::make_shared<EncodeSession>();
    session->child.createPipes();
    const QStringList args = buildArguments();
    resetParser();
    itemOutput_ = OutputFile;
    outputExisted_ = QFileInfo::exists(OutputFile);
    startWallTime_ = QDateTime::currentDateTime();
    const int error = program.isEmpty() ? ENOENT : session->child.start(program, args);
    if (error != 0)
        throw EProcessError((ResourceText(res::CreateProcess_Error) + QString::number(error)).toStdString());
    startTime_ = std::chrono::steady_clock::now();
    session->owner = this;
    session_ = session;
    try {
        TEncodeThread::Launch(std::move(session));
    } catch (const std::system_error& e) {
        endSession();
        removePartialOutput();
        throw EProcessError((ResourceText(res::CreateProcess_Error) + QString::number(e.code().value())).toStdString());
    }
}

void TEncodeProcess::Kill(int exitCode)
{
    if (!Running)
        return;
    Running = false;
    if (endSession())
        removePartialOutput();
}

bool TEncodeProcess::endSession()
{
    std::shared_ptr<EncodeSession> s = std::move(session_);
    session_.reset();
    if (!s)
        return false;
    s->owner = nullptr;
    s->terminate.store(true);
    if (s->child.ended())
        return false;
    s->child.kill();
    s->child.waitGone(KillWaitMs);
    return true;
}

void TEncodeProcess::removePartialOutput()
{
    if (itemOutput_.isEmpty())
        return;
    const QFileInfo fi(itemOutput_);
    if (!fi.exists())
        return;
    if (!outputExisted_ || fi.lastModified() >= startWallTime_.addSecs(-1))
        QFile::remove(itemOutput_);
}

void TEncodeProcess::readPipe(const std::shared_ptr<EncodeSession>& session, int pipe, int count)
{
    if (session != session_)
        return;
    const auto which = pipe == 0 ? ChildProcess::Pipe::StdOut : ChildProcess::Pipe::StdErr;
    QByteArray bytes;
    int error = 0;
    if (!session->child.read(which, count, bytes, error)) {
        // The item cannot go on without its output: end the child and report
        // the failure, so the job does not wait for a completion forever.
        const QString text =
            QString::fromLatin1(pipe == 0 ? "Error reading STDOUT pipe : " : "Error reading STDERR pipe : ") +
            QString::number(error);
        qWarning("%s", qPrintable(text));
        endSession();
        removePartialOutput();
        reportCompletion(ENC_RESULT_FAILED, text);
        return;
    }
    LineSplitter& splitter = pipe == 0 ? session->outLines : session->errLines;
    const QStringList lines = splitter.feed(bytes);
    if (!lines.isEmpty())
        parseLines(lines);
}

void TEncodeProcess::finish(const std::shared_ptr<EncodeSession>& session)
{
    if (session != session_)
        return;
    // Lines the child ended without a line break.
    QStringList rest = session->outLines.flush();
    rest += session->errLines.flush();
    if (!rest.isEmpty())
        parseLines(rest);
    if (session != session_)
        return;  // an error line among them already completed the item
    const ChildExit e = session->child.exit();
    endSession();
    if (e.normal()) {
        reportCompletion(ENC_RESULT_ENDED);
    } else {
        removePartialOutput();
        reportCompletion(ENC_RESULT_FAILED, describeExit(e));
    }
}

void TEncodeProcess::postProgress(const ProgressUpdate& update)
{
    PostJobEvent(NotifyWindow.data(), MakeProcessInfo(update.code, 0, update.elapsed, update.estimated));
}

int64_t TEncodeProcess::elapsedSeconds() const
{
    return RoundedSeconds(std::chrono::steady_clock::now() - startTime_);
}

void TEncodeProcess::failWithLine(int32_t result, const QString& line)
{
    endSession();
    removePartialOutput();
    reportCompletion(result, line);
}

void TEncodeProcess::reportCompletion(int32_t result, const QString& text)
{
    auto info = MakeProcessInfo(doneCode(), result, text);
    if (sendsCompletion())
        SendJobEvent(NotifyWindow.data(), std::move(info));
    else
        PostJobEvent(NotifyWindow.data(), std::move(info));
}

}  // namespace dw
