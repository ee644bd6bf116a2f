#include "jobs/EncodeProcess.h"

#include "app/ResourceText.h"
#include "jobs/ChildProcess.h"
#include "jobs/EncodeThread.h"
#include "jobs/EncoderItemChecks.h"
#include "platform/FileSharing.h"
#include "platform/NativePath.h"
#include "platform/OutputFile.h"

#include <cerrno>
#include <sys/stat.h>
#include <system_error>

namespace dw {

namespace {

// "<program> failed on <input> (exit status 1): <last line it printed>".
QString describeFailure(const QString& program, const QString& input, const ChildExit& e, const QString& lastLine)
{
    QString text = program + QStringLiteral(" failed on ") + input +
                   (e.exited ? QStringLiteral(" (exit status %1)").arg(e.exitCode)
                             : QStringLiteral(" (ended by signal %1)").arg(e.signal));
    if (!lastLine.isEmpty())
        text += QStringLiteral(": ") + lastLine;
    return text;
}

// Whether a name is taken in its folder: a file, a folder or a symbolic link
// (also one that leads nowhere).
bool nameTaken(const QString& path)
{
    struct stat st {};
    return ::lstat(NativePath(path).constData(), &st) == 0;
}

QString baseName(const QString& path) { return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1); }

// A line the child printed, as a message: what follows its last "erase to
// the end of the line" sequence (earlier text was progress it wiped), without
// control characters.
QString lineAsMessage(const QString& line)
{
    const QString eraseLine = QStringLiteral("\x1b[K");
    const qsizetype erased = line.lastIndexOf(eraseLine);
    const QString tail = erased < 0 ? line : line.mid(erased + eraseLine.size());
    QString out;
    for (const QChar c : tail)
        if (c.unicode() >= 0x20 && c.unicode() != 0x7f)
            out += c;
    return out.trimmed();
}

}  // namespace

TEncodeProcess::TEncodeProcess() = default;

TEncodeProcess::~TEncodeProcess()
{
    // The reading thread never waits for this object or the main thread, so
    // it winds down by itself (ending the child) after this returns.
    if (Running)
        Kill(0);
    else
        endSession();
}

QString TEncodeProcess::refusal() const
{
    QString why = CheckEncoderOutput(InputFile, OutputFile);
    if (why.isEmpty())
        why = CheckEncoderInput(InputFile, inputKind());
    return why;
}

bool TEncodeProcess::OutputAwaitsOverwriteAnswer() const
{
    return asksBeforeOverwrite() && nameTaken(OutputFile) && refusal().isEmpty();
}

void TEncodeProcess::Start()
{
    // A child of an earlier item that was neither finished nor killed (a
    // caller error) must not report into this item.
    endSession();

    // Nothing is asked, written or started for an item that cannot succeed
    // or would overwrite its own input.
    const QString refused = refusal();
    if (!refused.isEmpty()) {
        reportCompletion(ENC_RESULT_FAILED, refused);
        return;
    }

    if (asksBeforeOverwrite() && nameTaken(OutputFile)) {
        if (!overwrite_) {
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

    // The child writes a temporary file beside the output; our descriptor
    // stays open so that the commit can flush what it wrote to the disk.
    auto output = std::make_unique<TOutputFile>(OutputFile);
    if (!output->Create()) {
        reportCompletion(ENC_RESULT_FAILED, output->Error());
        return;
    }
    auto session = std::make_shared<EncodeSession>();
    if (session->wakeFd() < 0)
        throw EProcessError((ResourceText(res::CreateProcess_Error) + QString::number(errno)).toStdString());
    session->child.createPipes();
    const QStringList args = buildArguments(output->TempPath());
    resetParser();
    const int error = program.isEmpty() ? ENOENT : session->child.start(program, args);
    if (error != 0)
        throw EProcessError((ResourceText(res::CreateProcess_Error) + QString::number(error)).toStdString(), program,
                            error);
    startTime_ = std::chrono::steady_clock::now();
    itemInput_ = InputFile;
    programName_ = baseName(program);
    output_ = std::move(output);
    session->tempPath = output_->TempPath();
    session->owner = this;
    session_ = session;
    try {
        TEncodeThread::Launch(std::move(session));
    } catch (const std::system_error& e) {
        endSession();
        throw EProcessError((ResourceText(res::CreateProcess_Error) + QString::number(e.code().value())).toStdString());
    }
}

void TEncodeProcess::Kill(int /*exitCode*/)
{
    if (!Running)
        return;
    Running = false;
    endSession();
}

void TEncodeProcess::endSession()
{
    std::shared_ptr<EncodeSession> s = std::move(session_);
    session_.reset();
    if (s) {
        s->owner = nullptr;
        // A child that writes on gets to an unlinked file; one that creates
        // its output only now is cleaned up after by its thread.
        s->discard.store(output_ != nullptr);
        s->child.terminate();
        s->giveUp();
    }
    // What the child wrote goes too.
    output_.reset();
}

void TEncodeProcess::readFailed(const std::shared_ptr<EncodeSession>& session, int pipe, int error)
{
    if (session != session_)
        return;
    // The item cannot go on without its output: end the child and report
    // the failure, so the job does not wait for a completion forever.
    const QString text =
        QString::fromLatin1(pipe == 0 ? "Error reading STDOUT pipe : " : "Error reading STDERR pipe : ") +
        QString::number(error);
    qWarning("%s", qPrintable(text));
    endSession();
    reportCompletion(ENC_RESULT_FAILED, text);
}

void TEncodeProcess::readChunk(const std::shared_ptr<EncodeSession>& session, int pipe, const QByteArray& bytes)
{
    if (session != session_)
        return;
    LineSplitter& splitter = pipe == 0 ? session->outLines : session->errLines;
    const QStringList lines = splitter.feed(bytes);
    if (lines.isEmpty())
        return;
    if (const QString m = lineAsMessage(lines.back()); !m.isEmpty())
        session->lastLine = m;
    parseLines(lines);
}

void TEncodeProcess::finish(const std::shared_ptr<EncodeSession>& session)
{
    if (session != session_)
        return;
    // Lines the child ended without a line break.
    QStringList rest = session->outLines.flush();
    rest += session->errLines.flush();
    if (!rest.isEmpty()) {
        if (const QString m = lineAsMessage(rest.back()); !m.isEmpty())
            session->lastLine = m;
        parseLines(rest);
    }
    if (session != session_)
        return;  // an error line among them already completed the item
    const ChildExit e = session->child.exit();
    std::unique_ptr<TOutputFile> output = std::move(output_);
    endSession();
    if (!e.normal()) {
        output.reset();
        reportCompletion(ENC_RESULT_FAILED, describeFailure(programName_, itemInput_, e, session->lastLine));
    } else if (!output->Commit(true)) {
        reportCompletion(ENC_RESULT_FAILED, output->Error());
    } else {
        reportCompletion(ENC_RESULT_ENDED);
    }
}

QString TEncodeProcess::PendingOutputPath() const
{
    return session_ && output_ ? output_->TempPath() : QString();
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
    reportCompletion(result, line);
}

void TEncodeProcess::reportCompletion(int32_t result, const QString& text, const TJobFailure& failure)
{
    auto info = MakeProcessInfo(doneCode(), result, text);
    info->Failure = failure;
    // A failure's text travels as the failure too, so that nobody above the
    // encoder reads it from the time field the protocol keeps it in.
    if (!info->Failure.Failed() && !text.isEmpty() &&
        (result == ENC_RESULT_FAILED || result == ENC_RESULT_ERROR_LINE))
        info->Failure = TJobFailure{TJobFailure::Kind::Encode, {}, text};
    if (sendsCompletion())
        SendJobEvent(NotifyWindow.data(), std::move(info));
    else
        PostJobEvent(NotifyWindow.data(), std::move(info));
}

}  // namespace dw
