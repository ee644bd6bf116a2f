#pragma once
// What every discwright-cli command shares: argument parsing, error lines,
// JSON output and the progress bar.

#include "platform/CancelToken.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <set>

namespace dw::cli {

// Parsed arguments of one command. Options are "--name value" or "--name=value";
// switches are "--name" alone.
struct Args {
    QStringList positional;
    QMap<QString, QString> options;   // without the leading "--"
    std::set<QString> switches;

    bool has(const QString& name) const { return switches.count(name) || options.contains(name); }
    QString value(const QString& name, const QString& def = {}) const { return options.value(name, def); }
};

// Splits argv after the command name. valueOptions lists the options that take
// a value, switchOptions those that do not; anything else starting with "--"
// is an error (returned through error, and the function gives false).
bool parseArgs(const QStringList& argv, const QStringList& valueOptions, const QStringList& switchOptions,
               Args& out, QString& error);

// Prints "discwright-cli: <message>" on stderr and returns the exit status.
int fail(const QString& message, int status = 1);

// Writes a line (UTF-8) on stdout.
void out(const QString& line);
void printJson(const QJsonDocument& doc);

// Parses a whole decimal number into value; false when it is not one.
bool parseInt(const QString& text, int& value);

// A progress bar on stderr, drawn only when stderr is a terminal and --quiet was not given.
class ProgressBar {
public:
    ProgressBar(QString label, bool quiet);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;
    void update(int percent, const QString& detail = {});  // percent 0..100, -1 unknown
    void finish();                                          // ends the line

private:
    QString label_;
    bool enabled_;
    int last_ = -2;
    bool open_ = false;
};

}  // namespace dw::cli

namespace dw::cli {

// Exit status of a run stopped by Ctrl-C or SIGTERM (128 + SIGINT, as shells
// report an interrupted command).
constexpr int kStoppedStatus = 130;

// Catches SIGINT and SIGTERM for the lifetime of the object (the previous
// handlers come back after). The handler only records the signal and wakes
// the event loop, which then cancels token(); a command hands the token to
// its job, or registers a callback on it (TCancelCallback) that stops its
// job as the Stop button would. requested() tells whether a signal came,
// also one the event loop has not turned into a cancellation yet.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    static bool requested();
    // "SIGINT" or "SIGTERM"; empty when none came.
    static QString signalName();
    // Cancelled (on the main thread, from the event loop) once a signal came.
    const TCancelToken& token() const { return token_; }

private:
    struct Wake;
    TCancelToken token_;
    std::unique_ptr<Wake> wake_;
};

// Starts a job through start, which is given the callback for the job's
// end, and serves the event loop until that callback has run; returns the
// result it was given.
template <typename Result>
Result waitForJob(const std::function<void(std::function<void(const Result&)>)>& start)
{
    QEventLoop loop;
    std::optional<Result> result;
    start([&](const Result& r) {
        result = r;
        loop.quit();
    });
    if (!result)
        loop.exec();
    return std::move(*result);
}

}  // namespace dw::cli
