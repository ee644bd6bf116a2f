// dw-gui-bench: whole-process measurements of the desktop program on the
// offscreen platform. The drive is whatever DISCWRIGHT_CD_IMAGES names (a CD
// image made by dw-cdimage); settings live under XDG_CONFIG_HOME, so run it
// with a scratch folder there (gui_compare.sh does all of this).
//
//   dw-gui-bench startup
//     builds and shows the main window as the program does and quits once
//     the first detection and listing has run; time the whole process.
//   dw-gui-bench rip-stall OUTDIR [mp3|wav|flac|ogg|opus]
//     ticks a 1 ms timer on the main thread while Extract rips every track
//     of the disc through the main window into OUTDIR, and prints the
//     largest gap between ticks (the longest the event loop stalled), the
//     number of gaps over 16, 50 and 100 ms, and what ran during the worst.
//   dw-gui-bench convert-stall OUTDIR KIND FILE...
//     the same while the main window converts FILEs (KIND ogg, mp3, flac,
//     opus or wma, as the Convert menu's entries) into OUTDIR.
#include "app/JobEvents.h"
#include "app/Settings.h"
#include "platform/Dialogs.h"
#include "widgets/MainForm.h"
#include "widgets/ProductLinks.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMap>
#include <QTimer>
#include <QTreeWidget>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>
#include <vector>

#include <execinfo.h>
#include <pthread.h>

namespace {

QElapsedTimer sinceMain;

int startup()
{
    const qint64 app = sinceMain.elapsed();
    dw::TMainForm window;
    const qint64 built = sinceMain.elapsed();
    QObject::connect(&window, &dw::TMainForm::startedUp, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    window.show();
    const qint64 shown = sinceMain.elapsed();
    QApplication::exec();
    // The phases after main (the time before it is the dynamic loader's).
    std::fprintf(stderr, "ms since main: application %lld, window built %lld, shown %lld, listed %lld\n",
                 qlonglong(app), qlonglong(built), qlonglong(shown), qlonglong(sinceMain.elapsed()));
    auto* list = window.findChild<QTreeWidget*>(QStringLiteral("ListView1"));
    const int rows = list ? list->topLevelItemCount() : 0;
    std::fprintf(stderr, "listed %d tracks\n", rows);
    return rows > 0 ? 0 : 1;
}

// With DW_STALL_SAMPLES set: a watchdog thread that, when the main thread's
// event loop has not ticked for 10 ms, takes the main thread's stack
// (SIGPROF, backtrace in the handler) once per stall and prints it to
// stderr when the program ends - where the stalls come from.
class StallSampler {
public:
    static void tick() { lastTick_.store(now(), std::memory_order_relaxed); }

    StallSampler()
    {
        if (qEnvironmentVariableIsEmpty("DW_STALL_SAMPLES"))
            return;
        mainThread_ = pthread_self();
        struct sigaction sa {};
        sa.sa_handler = [](int) {
            sampleDepth_ = backtrace(sample_, kDepth);
            sampled_.store(true);
        };
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGPROF, &sa, nullptr);
        tick();
        watchdog_ = std::thread([this] { watch(); });
    }
    ~StallSampler()
    {
        if (!watchdog_.joinable())
            return;
        stop_.store(true);
        watchdog_.join();
        signal(SIGPROF, SIG_IGN);
        for (size_t i = 0; i < stacks_.size(); ++i) {
            std::fprintf(stderr, "stall sample %zu (%lld ms into the stall):\n", i + 1, qlonglong(ages_[i]));
            backtrace_symbols_fd(stacks_[i].data(), int(stacks_[i].size()), 2);
        }
    }

private:
    static constexpr int kDepth = 48;
    static qint64 now()
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void watch()
    {
        qint64 sampledTick = -1;
        while (!stop_.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            const qint64 last = lastTick_.load(std::memory_order_relaxed);
            const qint64 age = now() - last;
            if (age < 10 || last == sampledTick)
                continue;
            sampledTick = last;
            sampled_.store(false);
            pthread_kill(mainThread_, SIGPROF);
            for (int i = 0; i < 200 && !sampled_.load(); ++i)
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            if (sampled_.load()) {
                stacks_.emplace_back(sample_, sample_ + sampleDepth_);
                ages_.push_back(age);
            }
        }
    }

    static inline std::atomic<qint64> lastTick_{0};
    static inline void* sample_[kDepth];
    static inline volatile int sampleDepth_ = 0;
    static inline std::atomic<bool> sampled_{false};
    pthread_t mainThread_{};
    std::atomic<bool> stop_{false};
    std::thread watchdog_;
    std::vector<std::vector<void*>> stacks_;
    std::vector<qint64> ages_;
};

// Ticks a 1 ms timer on the main thread and keeps the largest gap between
// two ticks: the longest the event loop did not run. For the worst gap it
// also keeps what the main thread did meanwhile (from the scheduler's
// figures for the thread): how long it ran, how long it was ready but had to
// wait for a processor (other threads or programs had them), and the rest,
// the time it was blocked (waiting on something or sleeping). The largest
// gap without the wait for a processor is kept too: that part is the
// program's own doing, whatever else runs on the machine.
class StallMeter {
public:
    StallMeter()
    {
        tick_.setTimerType(Qt::PreciseTimer);
        tick_.setInterval(1);
        QObject::connect(&tick_, &QTimer::timeout, [this] { onTick(); });
        clock_.start();
        tick_.start();
    }

    void report(const QString& what, qint64 files)
    {
        tick_.stop();
        const double total = double(clock_.nsecsElapsed()) / 1e6;
        std::printf("%s: written %lld  job %.0f ms\n", qPrintable(what), qlonglong(files), total);
        std::printf("worst stall %.1f ms at %.0f ms (during %s)\n", double(worst_) / 1000, double(worstAt_) / 1000,
                    qPrintable(worstDuring_));
        std::printf("during it the main thread ran %.1f ms, waited for a processor %.1f ms, was blocked %.1f ms\n",
                    double(worstCpu_) / 1000, double(worstQueued_) / 1000,
                    double(worst_ - worstCpu_ - worstQueued_) / 1000);
        std::printf("worst stall without the wait for a processor %.1f ms (ran %.1f ms, blocked %.1f ms)\n",
                    double(worstOwn_) / 1000, double(worstOwnCpu_) / 1000, double(worstOwn_ - worstOwnCpu_) / 1000);
        std::printf("gaps over 16 ms: %d, over 50 ms: %d, over 100 ms: %d\n", over16_, over50_, over100_);
        std::fflush(stdout);
    }

private:
    struct ThreadUse {
        qint64 cpuMicros = 0;     // on a processor
        qint64 queuedMicros = 0;  // ready, waiting for a processor
    };
    // /proc/thread-self/schedstat: "<ns on cpu> <ns waiting on a run queue> <slices>".
    static ThreadUse threadUse()
    {
        ThreadUse t;
        if (FILE* f = std::fopen("/proc/thread-self/schedstat", "r")) {
            unsigned long long run = 0, wait = 0;
            if (std::fscanf(f, "%llu %llu", &run, &wait) == 2) {
                t.cpuMicros = qint64(run / 1000);
                t.queuedMicros = qint64(wait / 1000);
            }
            std::fclose(f);
        }
        return t;
    }

    void onTick()
    {
        StallSampler::tick();
        const qint64 now = clock_.nsecsElapsed() / 1000;
        const ThreadUse use = threadUse();
        if (last_ >= 0) {
            const qint64 gap = now - last_;
            over16_ += gap > 16000;
            over50_ += gap > 50000;
            over100_ += gap > 100000;
            const qint64 own = gap - (use.queuedMicros - lastUse_.queuedMicros);
            if (own > worstOwn_) {
                worstOwn_ = own;
                worstOwnCpu_ = use.cpuMicros - lastUse_.cpuMicros;
            }
            if (gap > worst_) {
                worst_ = gap;
                worstAt_ = last_;
                worstCpu_ = use.cpuMicros - lastUse_.cpuMicros;
                worstQueued_ = use.queuedMicros - lastUse_.queuedMicros;
                // The window whose modal loop runs during the job.
                QWidget* modal = QApplication::activeModalWidget();
                worstDuring_ = modal ? modal->objectName() + QLatin1String(" \"") + modal->windowTitle() +
                                           QLatin1Char('"')
                                     : QStringLiteral("main window");
            }
        }
        last_ = now;
        lastUse_ = use;
    }

    StallSampler sampler_;
    QTimer tick_;
    QElapsedTimer clock_;
    qint64 last_ = -1, worst_ = 0, worstAt_ = 0;
    int over16_ = 0, over50_ = 0, over100_ = 0;
    QString worstDuring_;
    ThreadUse lastUse_;
    qint64 worstCpu_ = 0, worstQueued_ = 0, worstOwn_ = 0, worstOwnCpu_ = 0;
};

bool waitStartedUp(dw::TMainForm& window)
{
    QElapsedTimer wait;
    wait.start();
    while (!window.StartedUp() && wait.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    return window.StartedUp();
}

int formatValue(const QString& name)
{
    static const QStringList names{"mp3", "wav", "ogg", "wma", "flac", "opus"};
    return int(names.indexOf(name));
}

int ripStall(const QString& outDir, const QString& format)
{
    dw::TMainForm window;
    window.show();
    if (!waitStartedUp(window) || window.Listing().Rows.empty()) {
        std::fprintf(stderr, "no disc listed\n");
        return 1;
    }
    if (formatValue(format) < 0) {
        std::fprintf(stderr, "unknown format %s\n", qPrintable(format));
        return 2;
    }
    QDir().mkpath(outDir);
    dw::AppSettings.OutputFolder = QDir(outDir).absolutePath() + QLatin1Char('/');
    dw::AppSettings.OutputFormat = formatValue(format);

    StallMeter meter;
    window.Extract();  // returns when the job window has closed
    const QStringList written = QDir(outDir).entryList(QDir::Files);
    meter.report(QStringLiteral("rip of %1 tracks to %2").arg(window.Listing().Rows.size()).arg(format.toUpper()),
                 written.size());
    return written.isEmpty() ? 1 : 0;
}

int convertStall(const QString& outDir, const QString& kindName, const QStringList& files, dw::ScriptedDialogs& dialogs)
{
    static const QMap<QString, dw::TJobKind> kinds{{"ogg", dw::jkWavToOgg}, {"mp3", dw::jkWavToMp3},
                                                   {"flac", dw::jkToFlac},   {"opus", dw::jkToOpus},
                                                   {"wma", dw::jkWavToWma}};
    if (!kinds.contains(kindName)) {
        std::fprintf(stderr, "unknown conversion %s\n", qPrintable(kindName));
        return 2;
    }
    dw::TMainForm window;
    window.show();
    waitStartedUp(window);  // a conversion needs no disc
    QDir().mkpath(outDir);
    dw::AppSettings.OutputFolder = QDir(outDir).absolutePath() + QLatin1Char('/');
    QStringList inputs;
    for (const QString& f : files)
        inputs << QFileInfo(f).absoluteFilePath();
    dialogs.queueFiles(inputs);

    StallMeter meter;
    window.ConvertFiles(kinds.value(kindName));  // returns when the job window has closed
    const QStringList written = QDir(outDir).entryList(QDir::Files);
    meter.report(QStringLiteral("conversion of %1 files to %2").arg(files.size()).arg(kindName.toUpper()),
                 written.size());
    return written.isEmpty() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv)
{
    sinceMain.start();
    QApplication app(argc, argv);
    QApplication::setApplicationName(dw::ProductCaption());
    // Message boxes answer with their default at once and are reported, so
    // none waits for a user.
    dw::ScriptedDialogs dialogs;
    dw::ScopedDialogs useDialogs(dialogs);

    const QStringList args = QApplication::arguments();
    const QString mode = args.value(1);
    int status = 2;
    if (mode == QLatin1String("startup"))
        status = startup();
    else if (mode == QLatin1String("rip-stall") && args.size() >= 3)
        status = ripStall(args[2], args.value(3, QStringLiteral("mp3")));
    else if (mode == QLatin1String("convert-stall") && args.size() >= 5)
        status = convertStall(args[2], args[3], args.mid(4), dialogs);
    else
        std::fprintf(stderr,
                     "usage: dw-gui-bench startup | rip-stall OUTDIR [mp3|wav|flac|ogg|opus] | "
                     "convert-stall OUTDIR ogg|mp3|flac|opus|wma FILE...\n");
    for (const QString& text : dialogs.texts())
        std::fprintf(stderr, "shown: %s\n", qPrintable(text));
    return status;
}
