#pragma once
// A child program with its standard input, output and error on pipes, for the
// encoder processes. Started from an argument vector (no shell). Thread use:
// the reading thread polls, reads and reaps; the main thread only signals.
// The descriptors stay open until the object is destroyed, so a peek on one
// thread can never meet a descriptor closed (and reused) by another.

#include <QByteArray>
#include "platform/FdIo.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <stdexcept>
#include <sys/types.h>

namespace dw {

// Raised when a pipe or the child cannot be created, or a pipe read fails.
// When a program could not be started, it carries the program and the
// system's error number too, so a front end can name both.
class EProcessError : public std::runtime_error {
public:
    explicit EProcessError(const std::string& text, QString program = {}, int systemError = 0)
        : std::runtime_error(text), program_(std::move(program)), systemError_(systemError)
    {
    }
    const QString& program() const { return program_; }
    int systemError() const { return systemError_; }

private:
    QString program_;
    int systemError_;
};

// How a child ended.
struct ChildExit {
    bool exited = false;  // ended by itself, with exitCode
    int exitCode = 0;
    int signal = 0;       // the signal that ended it, when not exited

    bool normal() const { return exited && exitCode == 0; }
};

class ChildProcess {
public:
    enum class Pipe { StdOut, StdErr };

    ChildProcess() = default;
    // Kills a child still running and reaps it.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Creates the three pipes. Raises EProcessError with "Error on STDIN pipe
    // creation : " (and the other five texts) followed by the error number.
    void createPipes();
    // Starts program with args, the pipes as its standard handles. Gives 0 or
    // the error number (program missing, not executable, ...).
    int start(const QString& program, const QStringList& args);

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    // Bytes waiting in a pipe; 0 when none or the peek fails.
    int available(Pipe pipe) const;
    // Reads up to count bytes that are waiting. False with the error number on
    // a failed read.
    bool read(Pipe pipe, int count, QByteArray& out, int& error);

    // The descriptors a waiting thread polls: the child's process
    // descriptor (readable once it has ended; -1 on kernels without one) and
    // our ends of its output pipes.
    int processFd() const { return pidfd_.get(); }
    int pipeFd(Pipe pipe) const;

    // Reaps the child when it has ended, without waiting; true once it has
    // ended (exit() tells how then).
    bool reapIfEnded() { return reap(false); }
    // Waits for the child to end and reaps it (a worker thread only).
    void reapWaiting() { reap(true); }
    bool ended() const { return reaped_.load(std::memory_order_acquire); }
    ChildExit exit() const { return exit_; }

    // Asks the child to end (SIGTERM), so it can remove what it was
    // writing; returns at once. Whoever waits for the child sends SIGKILL
    // when it does not end in time.
    void terminate();
    // Ends the child with SIGKILL (no effect once it has ended); remembered,
    // so the caller can tell its own kill from a crash.
    void kill();
    bool killedByUs() const { return killed_.load(); }

private:
    void signal(int sig);
    bool reap(bool block);

    UniqueFd inRead_, inWrite_, outRead_, outWrite_, errRead_, errWrite_;
    UniqueFd pidfd_;
    pid_t pid_ = -1;
    std::atomic<bool> reaped_{false};
    std::atomic<bool> killed_{false};
    ChildExit exit_;
};

}  // namespace dw
