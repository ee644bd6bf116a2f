// dw-screenshots OUTDIR: renders the program's windows to PNG files, in
// English and German, for looking at them without a desktop. A demo disc is
// made with dw-cdimage (beside this program) in a private folder that also
// serves as program and settings folder.
#include "app/Settings.h"
#include "cddb/DiscCache.h"
#include "platform/CdDrives.h"
#include "platform/Dialogs.h"
#include "widgets/AboutForm.h"
#include "widgets/OptionSetForm.h"
#include "widgets/OptionSetPictures.h"
#include "widgets/CDRipForm.h"
#include "widgets/RipForm.h"
#include "widgets/EditTrackNameForm.h"
#include "widgets/ID3EditForm.h"
#include "widgets/MainForm.h"
#include "widgets/NewRecordFileForm.h"
#include "widgets/NoDeviceHintForm.h"
#include "widgets/OggPlayerForm.h"
#include "widgets/RecordForm.h"
#include "widgets/ResampleForm.h"
#include "widgets/QueryCDDBForm.h"
#include "widgets/StopQueryForm.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <chrono>
#include <functional>
#include <thread>

namespace {

void pump(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool save(QWidget* w, const QString& out, const QString& name)
{
    pump(100);
    const QString path = out + "/" + name + ".png";
    const bool ok = w->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

// Shows a dialog without its modal loop, saves it and closes it.
void shot(QDialog& d, const QString& out, const QString& name)
{
    d.show();
    save(&d, out, name);
    d.close();
}

bool makeDemoDisc(const QString& dir, QString* cue)
{
    const QString tool = QCoreApplication::applicationDirPath() + "/dw-cdimage";
    *cue = dir + "/demo.cue";
    QProcess p;
    QStringList args{*cue};
    for (const char* length : {"4:07", "3:15", "0:45", "5:30", "2:58"})
        args << "--track" << length;
    p.start(tool, args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

void renderAll(const QString& out, const QString& language)
{
    dw::AppSettings.Lan = language;
    auto* main = new dw::TMainForm;  // deleted below
    main->setAttribute(Qt::WA_DeleteOnClose);
    dw::AppSettings.Lan = language;
    main->show();
    QElapsedTimer t;
    t.start();
    while (!main->StartedUp() && t.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    const QString suffix = "-" + language.toLower();
    save(main, out, "main" + suffix);

    // The File menu, open, over the window.
    if (QMenu* file = main->menuBar()->findChild<QMenu*>("N1")) {
        file->popup(main->mapToGlobal(QPoint(10, main->menuBar()->height())));
        save(file, out, "menu-file" + suffix);
        file->hide();
    }
    {
        dw::TfrmEditTrackName d("Bohemian Rhapsody", main);
        shot(d, out, "rename" + suffix);
    }
    {
        dw::TfrmAbout d(main);
        shot(d, out, "about" + suffix);
    }
    {
        // The options dialog, page by page.
        dw::TOptionSetForm options(main, main->Listing(), main->Component());
        QTemporaryDir pages;
        for (const QString& f : dw::SaveOptionSetPictures(options, pages.path())) {
            const QString target = out + "/" + QFileInfo(f).completeBaseName() + suffix + ".png";
            QFile::remove(target);  // a picture of an earlier run
            QFile::rename(f, target);
        }
    }
    {
        dw::TfrmNoDeviceHint d(main);
        shot(d, out, "nodevice" + suffix);
    }
    {
        dw::TfrmRecord record(main, main->Listing().CDHandle);
        shot(record, out, "record" + suffix);
        dw::TfrmNewRecordFile newFile(main);
        shot(newFile, out, "newrecordfile" + suffix);
        dw::TfrmResample resample(main);
        shot(resample, out, "resample" + suffix);
        dw::TfrmID3Edit id3(main);
        shot(id3, out, "id3edit" + suffix);
        dw::TfrmOggPlayer player(main);
        shot(player, out, "oggplayer" + suffix);
    }
    {
        // The CDDB lookup window, and its progress window running a lookup
        // that needs no network: one that waits to be stopped, one that
        // finds nothing.
        dw::TfrmQueryCDDB lookup(1, uint8_t(main->Listing().Rows.size()), main->Listing().CDHandle,
                                 main->Listing().Rows, dw::AppSettings, main);
        shot(lookup, out, "querycddb" + suffix);
        dw::TfrmStopQuery running([](const std::atomic<bool>* stop) {
            while (!stop->load())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            return dw::CddbLookupOutcome{};
        }, main);
        running.show();
        save(&running, out, "stopquery" + suffix);
        running.reject();
        dw::TfrmStopQuery notFound([](const std::atomic<bool>*) {
            dw::CddbLookupOutcome o;
            o.kind = dw::CddbLookupOutcome::NotFound;
            o.error = QStringLiteral("no match for disc 0e01f402");
            return o;
        }, main);
        notFound.show();
        save(&notFound, out, "stopquery-notfound" + suffix);
        notFound.reject();
    }
    {
        // The job windows mid-job, told what an engine tells them.
        dw::TRipForm rip(main);
        rip.StageStarted(dw::TJobStage{"Encoding", 2, 5, "Harbour Lights"});
        rip.Heading(language == "English" ? "Encoding" : "Kodieren");
        rip.StatusText({}, false);
        rip.ShowPercent(true);
        rip.Gauge(42);
        rip.Times("00:21", "00:50");
        save(&rip, out, "ripform" + suffix);
        rip.hide();
        dw::TfrmCDRip cdrip(main);
        cdrip.StageStarted(dw::TJobStage{"Extracting", 3, 5, "Interlude"});
        cdrip.Heading("Extracting...");
        cdrip.ItemFinished({});
        cdrip.ItemFinished({});
        cdrip.Gauge(67);
        save(&cdrip, out, "cdrip" + suffix);
        cdrip.hide();
    }
    main->close();
    pump(50);
}

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: dw-screenshots OUTDIR\n");
        return 2;
    }
    const QString out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(out);

    QTemporaryDir home;
    const QString bin = QCoreApplication::applicationDirPath();
    for (const QString& f : QDir(bin).entryList({"CLan_*.ini", "*.html", "*.jpg"}))
        QFile::copy(bin + "/" + f, home.path() + "/" + f);
    qputenv("DISCWRIGHT_PROGRAM_DIR", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toLocal8Bit());
    qputenv("HOME", home.path().toLocal8Bit());
    QString cue;
    if (!makeDemoDisc(home.path(), &cue)) {
        std::fprintf(stderr, "dw-screenshots: cannot make the demo disc with dw-cdimage\n");
        return 1;
    }
    qputenv("DISCWRIGHT_CD_IMAGES", cue.toLocal8Bit());

    // Titles of the demo disc, as a lookup would have left them.
    const QStringList titles{"Intro: The Long Road", "Harbour Lights", "Interlude", "Night Train to Lisbon",
                             "Coda"};
    dw::TDiscInfo disc;
    disc.DiscArtist = "The Demo Band";
    disc.DiscAlbum = "Discwright Sessions";
    disc.DiscTrackCount = int(titles.size());
    for (int i = 0; i < titles.size(); ++i)
        disc.DiscTitles[size_t(i + 1)] = titles[i];
    dw::DiscCache(dw::ComputeDiscKey(), dw::DiscCacheDirection::Write, disc);

    dw::ScriptedDialogs dialogs;  // no box may block a picture
    dw::ScopedDialogs useDialogs(dialogs);
    renderAll(out, "English");
    renderAll(out, "German");
    return 0;
}
