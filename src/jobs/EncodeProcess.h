#pragma once
// What the lame and WMA encoder processes share: one wrapper object, reused
// for every item of every job, runs one child program per item, reads what
// it prints on a reading thread, turns that into progress events and reports
// exactly one completion per item to NotifyWindow.
//
// Thread rules: every member function is called on the main thread. The
// reading thread only peeks at the pipes and waits for the child; it asks the
// main thread (Synchronize) to read, parse and finish.

#include "jobs/EncoderOutput.h"
#include "jobs/JobEvents.h"

#include <QDateTime>
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

class TEncodeProcess {
public:
    TEncodeProcess();
    // Ends a child still running, without a completion.
    virtual ~TEncodeProcess();
    TEncodeProcess(const TEncodeProcess&) = delete;
    TEncodeProcess& operator=(const TEncodeProcess&) = delete;

    // Set by the job window before Start.
    bool Running = false;             // cleared only by Kill
    QString InputFile, OutputFile;    // full paths
    QPointer<QObject> NotifyWindow;   // receives WM_JOB_EVENT
    bool EncodeMode = true;           // lame: true encode, false decode
    TJobKind JobKind = jkWavToMp3;

    // Runs one item: asks before overwriting, starts the child and returns, or
    // reports a skipped item. Raises EProcessError when a pipe or the child
    // cannot be created (no completion is reported then).
    void Start();
    // When Running: clears it and ends the child and its reading thread
    // without a completion; a partly written output is removed. The exit code
    // cannot be imposed on a Linux process: the child is killed (SIGKILL).
    void Kill(int exitCode = 0);

    // True while a child of the current item runs (or its output is drained).
    bool ChildActive() const { return session_ != nullptr; }
    // When the current child was started.
    std::chrono::steady_clock::time_point StartTime() const { return startTime_; }
    // The arguments of the current item's command line (without the program).
    QStringList Arguments() { return buildArguments(); }

protected:
    // JOB_MP3_DONE or JOB_WMA_DONE.
    virtual int32_t doneCode() const = 0;
    // Whether an existing output is asked about for this job kind.
    virtual bool asksBeforeOverwrite() const = 0;
    // The program to run; empty when it cannot be found.
    virtual QString locateProgram() const = 0;
    // Called when locateProgram() found nothing: reports a skipped item and
    // gives true, or gives false to treat it as a failure to create the child.
    virtual bool reportMissingProgram() { return false; }
    virtual QStringList buildArguments() = 0;
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
    void reportCompletion(int32_t result, const QString& text = {});

private:
    friend class TEncodeThread;

    // Main-thread steps the reading thread asks for.
    void readPipe(const std::shared_ptr<EncodeSession>& session, int pipe, int count);
    void finish(const std::shared_ptr<EncodeSession>& session);

    // Detaches the current session and makes its thread end; kills the child
    // when it still runs. Gives whether a running child was killed.
    bool endSession();
    // Waits (serving main-thread requests) until the session's thread is gone.
    static void waitForThread(const std::shared_ptr<EncodeSession>& session);

protected:
    // Removes what a child that did not complete left under the output of
    // its item: the file when it did not exist before or was written since.
    virtual void removePartialOutput();
    // The output file of the item whose child was started last (OutputFile
    // may already name the next item's).
    const QString& ItemOutput() const { return itemOutput_; }

private:
    std::shared_ptr<EncodeSession> session_;
    std::chrono::steady_clock::time_point startTime_{};
    QDateTime startWallTime_;
    QString itemOutput_;
    bool outputExisted_ = false;
};

}  // namespace dw
