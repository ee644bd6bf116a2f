#pragma once
// What the lame and WMA encoder processes share: one wrapper object, reused
// for every item of every job, runs one child program per item, reads what
// it prints on a reading thread, turns that into progress events and reports
// exactly one completion per item to NotifyWindow.
//
// Whole or nothing: the child writes a hidden temporary file in the output's
// folder, which is renamed onto OutputFile only when the child ended
// normally. A failed, refused or killed item removes its temporary file and
// never touches an existing output; a symbolic link at the output is
// replaced, not written through. An item whose output is its input, whose
// input is not of the expected kind, or whose output folder cannot be
// written is refused before anything starts.
//
// Thread rules: every member function is called on the main thread, and none
// of them waits for the child or the reading thread: the reading thread posts
// what the child printed and the child's end to the main thread's event loop,
// and a child that is given up gets SIGTERM at once and SIGKILL from the
// reading thread when it has not ended a second later.

#include "jobs/EncoderOutput.h"
#include "app/JobEvents.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <memory>

namespace dw {

class ChildProcess;
struct EncodeSession;
class TEncodeThread;
class TOutputFile;
enum class EncoderInputKind;

class TEncodeProcess {
public:
    TEncodeProcess();
    // Ends a child still running, without a completion (as Kill; does not
    // wait for it).
    virtual ~TEncodeProcess();
    TEncodeProcess(const TEncodeProcess&) = delete;
    TEncodeProcess& operator=(const TEncodeProcess&) = delete;

    // Set by the job window before Start.
    bool Running = false;             // cleared only by Kill
    QString InputFile, OutputFile;    // full paths
    QPointer<QObject> NotifyWindow;   // receives WM_JOB_EVENT
    bool EncodeMode = true;           // lame: true encode, false decode
    TJobKind JobKind = jkWavToMp3;
    // Sets the fields above for one item, Running included.
    void SetItem(const QString& input, const QString& output, QObject* notify, bool encode, TJobKind kind)
    {
        Running = true;
        InputFile = input;
        OutputFile = output;
        NotifyWindow = notify;
        EncodeMode = encode;
        JobKind = kind;
    }

    // Whether an existing output is replaced, for the job kinds that do not
    // always replace it (conversions and WMA recordings); the front end
    // decides it before the job (asking the user, or from its flags). Kept
    // for every item until changed; by default an existing output is kept
    // and the item reported skipped.
    void SetOverwrite(bool replace) { overwrite_ = replace; }
    bool Overwrite() const { return overwrite_; }
    // Whether SetOverwrite decides the current item (InputFile, OutputFile,
    // JobKind set): its output exists, the job kind keeps existing outputs
    // and no check refuses the item first. A front end that asks the user
    // asks when this is true.
    bool OutputAwaitsOverwriteAnswer() const;

    // Runs one item: checks it, keeps or replaces an existing output as
    // SetOverwrite says, starts the child and
    // returns, or reports a skipped or refused item (a refusal is
    // ENC_RESULT_FAILED with "<file>: <reason>" in Elapsed). Raises
    // EProcessError when a pipe or the child cannot be created (no
    // completion is reported then).
    void Start();
    // When Running: clears it and ends the child and its reading thread
    // without a completion; the temporary output is removed. Returns at
    // once. The exit code cannot be imposed on a Linux process: the child
    // gets SIGTERM, then SIGKILL from its reading thread when it has not
    // ended within StopGraceMs.
    void Kill(int exitCode = 0);

    // True while a child of the current item runs (or its output is drained).
    bool ChildActive() const { return session_ != nullptr; }
    // When the current child was started.
    std::chrono::steady_clock::time_point StartTime() const { return startTime_; }
    // The file the running child writes (the temporary output that becomes
    // OutputFile when the item ends well); empty when no child runs. What
    // has been encoded so far is the size of this file.
    QString PendingOutputPath() const;
    // The arguments of the current item's command line (without the program),
    // as if the child wrote OutputFile itself.
    QStringList Arguments() { return buildArguments(OutputFile); }

protected:
    // JOB_MP3_DONE or JOB_WMA_DONE.
    virtual int32_t doneCode() const = 0;
    // Whether an existing output is kept unless SetOverwrite(true), for this
    // job kind (otherwise it is always replaced).
    virtual bool asksBeforeOverwrite() const = 0;
    // The program to run; empty when it cannot be found.
    virtual QString locateProgram() const = 0;
    // Called when locateProgram() found nothing: reports a skipped item and
    // gives true, or gives false to treat it as a failure to create the child.
    virtual bool reportMissingProgram() { return false; }
    // The command line for the current item, the child writing outputPath.
    virtual QStringList buildArguments(const QString& outputPath) = 0;
    // What the input of the current item must be.
    virtual EncoderInputKind inputKind() const = 0;
    // Resets the parser for a new item.
    virtual void resetParser() = 0;
    // Parses complete lines the child printed (both pipes).
    virtual void parseLines(const QStringList& lines) = 0;
    // Whether the completion is sent (handled before the call returns) or posted.
    virtual bool sendsCompletion() const = 0;

    // For the parsers:
    void postProgress(const ProgressUpdate& update);
    int64_t elapsedSeconds() const;
    // The child printed an error line: ends it and its thread, then reports
    // the completion with result and the line. Parsing must stop afterwards.
    void failWithLine(int32_t result, const QString& line);
    // Reports a completion (posted or sent per sendsCompletion()).
    void reportCompletion(int32_t result, const QString& text = {}, const TJobFailure& failure = {});

private:
    friend class TEncodeThread;

    // Main-thread steps the reading thread posts (ignored when the session
    // is no longer the current one).
    void readChunk(const std::shared_ptr<EncodeSession>& session, int pipe, const QByteArray& bytes);
    void readFailed(const std::shared_ptr<EncodeSession>& session, int pipe, int error);
    void finish(const std::shared_ptr<EncodeSession>& session);

    // Detaches the current session and makes its thread end; asks the child
    // to end when it still runs and removes an uncommitted temporary output
    // (the thread removes it again once the child is gone). Does not wait.
    void endSession();
    // "<file>: <reason>" when the current item must not start; else empty.
    QString refusal() const;
    std::shared_ptr<EncodeSession> session_;
    // The temporary output of the running item (OutputFile may already name
    // the next item's); renamed into place by finish.
    std::unique_ptr<TOutputFile> output_;
    QString itemInput_, programName_;
    std::chrono::steady_clock::time_point startTime_{};
    bool overwrite_ = false;
};

}  // namespace dw
