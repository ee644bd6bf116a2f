// discwright-cli play: one WAV or Ogg Vorbis file played on the sound device
// through the player's output, with a progress line, Ctrl-C and SIGTERM.

#include "cli/CliCommon.h"
#include "player/PlayChain.h"

#include <QEventLoop>
#include <QTimer>

#include <cmath>

namespace dw::cli {

int cmdPlay(const QStringList& argv);

namespace {

// How often the progress line is redrawn.
constexpr int kProgressMs = 100;

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
    const QString total = clock(chain.TotalSeconds());
    QEventLoop loop;
    // The worker ends the run on its own (the end of the file, a failed or
    // vanished device), or a stop signal ends it as the player window's Stop
    // button does; either way OnDone follows and ends the wait.
    output.OnDone = [&](TAuOutput*) { loop.quit(); };
    bool stopped = false;
    const TCancelCallback onStop(stop.token(), [&] {
        if (!output.IsBusy() || stopped)
            return;
        stopped = true;
        if (output.Status() == 1)
            output.Resume();
        output.Stop(true);
    });
    // The progress line follows the place the device has reached.
    QTimer progress;
    QObject::connect(&progress, &QTimer::timeout, [&] {
        const double whole = chain.TotalSeconds();
        const double at = chain.PositionSeconds();
        bar.update(whole > 0 ? static_cast<int>(at * 100 / whole) : -1, clock(at) + " / " + total);
    });
    progress.start(kProgressMs);
    output.Run();
    loop.exec();
    progress.stop();
    output.OnDone = nullptr;
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
