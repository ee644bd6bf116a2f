// discwright-cli play: one WAV or Ogg Vorbis file played on the sound device
// through the player's output, with a progress line, Ctrl-C and SIGTERM.

#include "cli/CliCommon.h"
#include "platform/MainThread.h"
#include "player/PlayChain.h"

#include <QCoreApplication>

#include <chrono>
#include <cmath>
#include <thread>

namespace dw::cli {

int cmdPlay(const QStringList& argv);

namespace {

const char* const kPlayUsage =
    "usage: discwright-cli play FILE.ogg|FILE.wav [--start SECONDS] [--balance -100..100] [--quiet]";

QString clock(double seconds)
{
    const int s = static_cast<int>(seconds);
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

int cmdPlay(const QStringList& argv)
{
    Args args;
    QString error;
    if (!parseArgs(argv, {"start", "balance"}, {"quiet"}, args, error))
        return fail(error, 2);
    if (args.positional.size() != 1)
        return fail(kPlayUsage, 2);
    int balance = 0;
    if (args.options.contains("balance") && (!parseInt(args.value("balance"), balance) || balance < -100 ||
                                             balance > 100))
        return fail("--balance must be a whole number from -100 to 100", 2);
    double start = 0;
    if (args.options.contains("start")) {
        bool ok = false;
        start = args.value("start").toDouble(&ok);
        if (!ok || !std::isfinite(start) || start < 0)
            return fail("--start must be a number of seconds, 0 or more", 2);
    }

    const QString file = args.positional.front();
    TPlayChain chain;
    if (!chain.Open(file, error))
        return fail(error);
    chain.SetBalance(balance);
    if (start > 0 && !chain.StartAt(start, error))
        return fail(error, 2);

    TDXAudioOut& output = chain.Output();
    ProgressBar bar(QStringLiteral("Playing"), args.has("quiet"));
    StopSignals stop;
    output.Run();
    const QString total = clock(chain.TotalSeconds());
    bool stopped = false;
    // The worker ends the run on its own (the end of the file, a failed or
    // vanished device); a stop signal ends it here.
    while (output.IsBusy()) {
        if (StopSignals::requested() && !stopped) {
            stopped = true;
            output.Stop(false);
            break;
        }
        const double at = chain.PositionSeconds();
        const double whole = chain.TotalSeconds();
        bar.update(whole > 0 ? static_cast<int>(at * 100 / whole) : -1, clock(at) + " / " + total);
        CheckSynchronize();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    bar.finish();
    const QString message = output.GetExceptionMessage();
    if (!message.isEmpty())
        return fail(QStringLiteral("%1: %2").arg(file, message));
    out(QStringLiteral("%1: played %2 of %3").arg(file, clock(chain.PositionSeconds()), total));
    if (stopped)
        return fail(QStringLiteral("stopped by %1").arg(StopSignals::signalName()), kStoppedStatus);
    return 0;
}

}  // namespace dw::cli
