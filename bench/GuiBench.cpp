// dw-gui-bench: whole-process measurements of the desktop program on the
// offscreen platform. The drive is whatever DISCWRIGHT_CD_IMAGES names (a CD
// image made by dw-cdimage); settings live under XDG_CONFIG_HOME, so run it
// with a scratch folder there (gui_compare.sh does all of this).
//
//   dw-gui-bench startup
//     builds and shows the main window as the program does and quits once
//     the first detection and listing has run; time the whole process.
//   dw-gui-bench rip-stall OUTDIR [mp3|wav]
//     ticks a 1 ms timer on the main thread while Extract rips every track
//     of the disc through the main window into OUTDIR, and prints the
//     largest gap between ticks (the longest the event loop stalled), the
//     number of gaps over 16, 50 and 100 ms, and what ran during the worst.
#include "app/Settings.h"
#include "platform/Dialogs.h"
#include "widgets/MainForm.h"
#include "widgets/ProductLinks.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>

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

int ripStall(const QString& outDir, const QString& format)
{
    dw::TMainForm window;
    window.show();
    QElapsedTimer wait;
    wait.start();
    while (!window.StartedUp() && wait.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    if (!window.StartedUp() || window.Listing().Rows.empty()) {
        std::fprintf(stderr, "no disc listed\n");
        return 1;
    }
    QDir().mkpath(outDir);
    dw::AppSettings.OutputFolder = QDir(outDir).absolutePath() + QLatin1Char('/');
    dw::AppSettings.OutputFormat = format == QLatin1String("wav") ? 1 : 0;

    // The window whose modal loop runs during the job, sampled at each gap.
    QElapsedTimer clock;
    qint64 last = -1, worst = 0, worstAt = 0;
    int over16 = 0, over50 = 0, over100 = 0;
    QString worstDuring;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed() / 1000;
        if (last >= 0) {
            const qint64 gap = now - last;
            over16 += gap > 16000;
            over50 += gap > 50000;
            over100 += gap > 100000;
            if (gap > worst) {
                worst = gap;
                worstAt = last;
                QWidget* modal = QApplication::activeModalWidget();
                worstDuring = modal ? modal->objectName() + QLatin1String(" \"") + modal->windowTitle() +
                                          QLatin1Char('"')
                                    : QStringLiteral("main window");
            }
        }
        last = now;
    });
    clock.start();
    tick.start();
    window.Extract();  // returns when the job window has closed
    tick.stop();
    const double total = double(clock.nsecsElapsed()) / 1e6;
    const QStringList written = QDir(outDir).entryList(QDir::Files);
    std::printf("tracks %zu  written %lld  job %.0f ms\n", window.Listing().Rows.size(), qlonglong(written.size()),
                total);
    std::printf("worst stall %.1f ms at %.0f ms (during %s)\n", double(worst) / 1000, double(worstAt) / 1000,
                qPrintable(worstDuring));
    std::printf("gaps over 16 ms: %d, over 50 ms: %d, over 100 ms: %d\n", over16, over50, over100);
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
    else
        std::fprintf(stderr, "usage: dw-gui-bench startup | rip-stall OUTDIR [mp3|wav]\n");
    for (const QString& text : dialogs.texts())
        std::fprintf(stderr, "shown: %s\n", qPrintable(text));
    return status;
}
