// The main window's Query Freedb command against the loopback CDDB server, on
// a CD image: the lookup window with its settings and picture, an exact match
// and the user's choice among several (or none) landing in the track list,
// the disc values and (on closing) the cache; Stop against a silent server;
// "not found", failures and an unreadable disc with their messages; ripper
// mode without any window; the German texts of the windows.
#include "MainFormFixture.h"

#include "app/Genres.h"
#include "cddb/CddbTestDisc.h"
#include "cddb/QueryCDDBThread.h"
#include "fixtures/CddbServer.h"
#include "runner/Extract.h"
#include "widgets/CddbMatchForm.h"
#include "widgets/QueryCDDBForm.h"
#include "widgets/QueryFreedb.h"
#include "widgets/StopQueryForm.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <chrono>
#include <thread>

namespace {

using dwtest::waitFor;

QString entry(const QString& discId, const QString& dtitle, const QStringList& titles, const QString& genre)
{
    QString lines = "# xmcd\r\n# Disc length: 14 seconds\r\nDISCID=" + discId + "\r\nDTITLE=" + dtitle +
                    "\r\nDYEAR=1997\r\nDGENRE=" + genre + "\r\n";
    for (int i = 0; i < titles.size(); ++i)
        lines += QString("TTITLE%1=%2\r\n").arg(i).arg(titles[i]);
    return dwtest::cddbReadAnswer("rock", discId, lines + "EXTD=\r\nPLAYORDER=\r\n");
}

class QueryCddbTest : public dwtest::MainFormFixture {
protected:
    void SetUp() override
    {
        MainFormFixture::SetUp();
        insertDisc({5, 7}, {"Old One", "Old Two"}, true);
        discId_ = dwtest::expectedCddbDisc(cue_).discId;
    }

    QStringList titles() const
    {
        QStringList out;
        for (int r = 0; r < list()->topLevelItemCount(); ++r)
            out << list()->topLevelItem(r)->text(1);
        return out;
    }

    // Runs handler once the modal window named name is up; a window that
    // never comes fails the test after 20 s and the modal one is closed.
    void whenModal(const QString& name, std::function<void(QWidget*)> handler)
    {
        auto* timer = new QTimer(qApp);
        auto clock = std::make_shared<QElapsedTimer>();
        clock->start();
        timer->setInterval(5);
        QObject::connect(timer, &QTimer::timeout, [timer, clock, name, handler] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && modal->objectName() == name && modal->isVisible()) {
                timer->stop();
                timer->deleteLater();
                handler(modal);
            } else if (clock->elapsed() > 20000) {
                timer->stop();
                timer->deleteLater();
                ADD_FAILURE() << "no window " << qPrintable(name);
                if (auto* d = qobject_cast<QDialog*>(modal))
                    d->reject();
            }
        });
        timer->start();
    }

    // Points the lookup window at the loopback server and presses Query.
    void query(QWidget* lookup)
    {
        lookup->findChild<QComboBox*>("cbServer")->setEditText(server_.url());
        lookup->findChild<QPushButton*>("bQuery")->click();
    }

    dwtest::CddbServer server_;
    QString discId_;
};

TEST_F(QueryCddbTest, LookupWindowFillsTheTrackListFromAnExactMatchAndFromAChoiceAmongSeveral)
{
    // A picture for the window, and settings that are not among its entries.
    QImage picture(24, 16, QImage::Format_RGB32);
    picture.fill(Qt::darkBlue);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(picture.save(&buffer, "JPG"));
    QFile file(sandbox_.programDir() + "/CDDB.jpg");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(jpeg);
    file.close();
    setting("QueryCDDB", "Server", "cddb.example.invalid");
    setting("QueryCDDB", "Script", "/cgi/lookup.cgi");
    setting("QueryCDDB", "UseProxy", "1");
    setting("QueryCDDB", "ProxyAddress", "proxy.example.invalid");
    setting("QueryCDDB", "Port", "3128");

    server_.configure({{"query", QJsonObject{{"*", "200 rock " + discId_ + " Boards / Music Has The Right\r\n"}}},
                       {"read", QJsonObject{{"rock " + discId_,
                                             entry(discId_, "Boards / Music Has The Right", {"Wildlife", "Roygbiv"},
                                                   "Ambient")}}}});
    dw::TMainForm& w = start();
    ASSERT_NE(w.Listing().CDHandle, 0);  // drive mode
    ASSERT_EQ(titles(), QStringList({"Old One", "Old Two"}));
    ASSERT_TRUE(action("miQueryFreedb")->isEnabled());

    bool checked = false;
    whenModal("frmQueryCDDB", [&](QWidget* lookup) {
        auto* server = lookup->findChild<QComboBox*>("cbServer");
        auto* proxy = lookup->findChild<QCheckBox*>("cbProxy");
        auto* address = lookup->findChild<QLineEdit*>("eAddress");
        EXPECT_EQ(server->count(), 12);
        EXPECT_EQ(server->currentText(), "gnudb.gnudb.org");  // entry 0 for an unknown server
        EXPECT_EQ(lookup->findChild<QLineEdit*>("eScript")->text(), "/cgi/lookup.cgi");
        EXPECT_TRUE(proxy->isChecked());
        EXPECT_EQ(address->text(), "proxy.example.invalid");
        EXPECT_EQ(lookup->findChild<QLineEdit*>("ePort")->text(), "3128");
        EXPECT_TRUE(address->isEnabled());
        const QPixmap shown = lookup->findChild<QLabel*>("Image1")->pixmap();
        EXPECT_EQ(shown.size(), QSize(24, 16));
        const QRgb middle = shown.toImage().pixel(12, 8);  // dark blue, as written
        EXPECT_GT(qBlue(middle), 100);
        EXPECT_LT(qRed(middle), 40);

        // Default: entry 0, the standard script, no proxy (its address stays).
        server->setEditText("elsewhere.example.invalid");
        lookup->findChild<QPushButton*>("bDefault")->click();
        EXPECT_EQ(server->currentText(), "gnudb.gnudb.org");
        EXPECT_EQ(lookup->findChild<QLineEdit*>("eScript")->text(), "/~cddb/cddb.cgi");
        EXPECT_FALSE(proxy->isChecked());
        EXPECT_FALSE(address->isEnabled());
        EXPECT_EQ(address->text(), "proxy.example.invalid");
        checked = true;
        query(lookup);
    });
    choose("miQueryFreedb");
    ASSERT_TRUE(checked);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);  // both windows closed
    EXPECT_EQ(titles(), QStringList({"Wildlife", "Roygbiv"}));
    EXPECT_EQ(dw::AppSettings.DiscArtist, "Boards");
    EXPECT_EQ(dw::AppSettings.DiscAlbum, "Music Has The Right");
    EXPECT_EQ(dw::AppSettings.DiscYear, "1997");
    EXPECT_EQ(dw::AppSettings.DiscGenre, dw::FindGenreName("Ambient"));
    EXPECT_NE(dw::AppSettings.DiscGenre, -1);
    // The window's values went back into the settings; the request used them.
    EXPECT_EQ(dw::AppSettings.Server, server_.url());
    EXPECT_EQ(dw::AppSettings.Script, "/~cddb/cddb.cgi");
    EXPECT_FALSE(dw::AppSettings.UseProxy);
    ASSERT_FALSE(server_.requests().isEmpty());
    EXPECT_TRUE(server_.requests().first()["path"].toString().startsWith("/~cddb/cddb.cgi?"));
    EXPECT_TRUE(server_.requests().first()["params"].toObject()["cmd"].toString().startsWith("cddb query " + discId_));
    EXPECT_TRUE(dialogs_.texts().isEmpty());

    // Several matches: a list asks which one, the first preselected. Cancel
    // reads no entry and changes nothing; the lookup window stays.
    const QString other = "0a0b0c0d";
    server_.configure(
        {{"query", QJsonObject{{"*", "211 Found inexact matches, list follows (until terminating `.')\r\n"
                                     "rock " + discId_ + " Autechre / Amber\r\n"
                                     "misc " + other + " Boards / Geogaddi\r\n.\r\n"}}},
         {"read", QJsonObject{{"rock " + discId_, entry(discId_, "Autechre / Amber", {"Foil", "Montreal"}, "Electronic")},
                              {"misc " + other,
                               dwtest::cddbReadAnswer("misc", other,
                                                      "DISCID=" + other + "\r\nDTITLE=Boards / Geogaddi\r\n"
                                                      "DGENRE=Ambient\r\nTTITLE0=Music Is Math\r\n"
                                                      "TTITLE1=Gyroscope\r\n")}}}});
    const auto readsSince = [&](int from) {
        QStringList reads;
        for (const QJsonObject& r : server_.requests().mid(from))
            if (r["params"].toObject()["cmd"].toString().startsWith("cddb read"))
                reads << r["params"].toObject()["cmd"].toString();
        return reads;
    };
    int before = int(server_.requests().size());
    QStringList shown;
    bool stayed = false;
    whenModal("frmQueryCDDB", [&](QWidget* lookup) {
        whenModal("frmCddbMatch", [&](QWidget* choose) {
            auto* matches = choose->findChild<QTreeWidget*>("lvMatches");
            for (int r = 0; r < matches->topLevelItemCount(); ++r)
                for (int c = 0; c < 3; ++c)
                    shown << matches->topLevelItem(r)->text(c);
            EXPECT_EQ(matches->currentItem(), matches->topLevelItem(0));
            choose->findChild<QPushButton*>("bCancel")->click();
        });
        query(lookup);
        stayed = lookup->isVisible();
        lookup->findChild<QPushButton*>("bClose")->click();
    });
    choose("miQueryFreedb");
    EXPECT_EQ(shown, QStringList({"rock", discId_, "Autechre / Amber", "misc", other, "Boards / Geogaddi"}));
    EXPECT_TRUE(stayed);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(titles(), QStringList({"Wildlife", "Roygbiv"}));
    EXPECT_EQ(dw::AppSettings.DiscArtist, "Boards");
    EXPECT_EQ(dw::AppSettings.DiscAlbum, "Music Has The Right");
    EXPECT_GT(int(server_.requests().size()), before);  // the query was made
    EXPECT_TRUE(readsSince(before).isEmpty());

    // Choosing the second reads that entry alone, without asking again.
    before = int(server_.requests().size());
    whenModal("frmQueryCDDB", [&](QWidget* lookup) {
        whenModal("frmCddbMatch", [&](QWidget* choose) {
            auto* matches = choose->findChild<QTreeWidget*>("lvMatches");
            matches->setCurrentItem(matches->topLevelItem(1));
            choose->findChild<QPushButton*>("bOK")->click();
        });
        query(lookup);
    });
    choose("miQueryFreedb");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(titles(), QStringList({"Music Is Math", "Gyroscope"}));
    EXPECT_EQ(dw::AppSettings.DiscArtist, "Boards");
    EXPECT_EQ(dw::AppSettings.DiscAlbum, "Geogaddi");
    EXPECT_EQ(dw::AppSettings.DiscGenre, dw::FindGenreName("Ambient"));
    EXPECT_EQ(readsSince(before), QStringList({"cddb read misc " + other}));
    int queries = 0;
    for (const QJsonObject& r : server_.requests().mid(before))
        queries += r["params"].toObject()["cmd"].toString().startsWith("cddb query") ? 1 : 0;
    EXPECT_EQ(queries, 1);
    EXPECT_TRUE(dialogs_.texts().isEmpty());

    // Closing the program keeps them in the cache.
    const QString key = dw::ComputeDiscKey();
    w.close();
    dw::TDiscInfo cached;
    ASSERT_TRUE(dw::DiscCache(key, dw::DiscCacheDirection::Read, cached));
    EXPECT_EQ(cached.DiscTitles[1], "Music Is Math");
    EXPECT_EQ(cached.DiscTitles[2], "Gyroscope");
    EXPECT_EQ(cached.DiscArtist, "Boards");
    EXPECT_EQ(cached.DiscAlbum, "Geogaddi");
}

TEST_F(QueryCddbTest, StopAbandonsASilentServerAtOnceAndKeepsTheTitles)
{
    server_.configure({{"query_mode", "silent"}});
    start();
    std::chrono::steady_clock::duration stopTook{};
    bool stoppedBackToLookup = false;
    whenModal("frmQueryCDDB", [&](QWidget* lookup) {
        whenModal("frmStopQuery", [&](QWidget* progress) {
            // The window runs its event loop while the server stays silent.
            EXPECT_TRUE(waitFor([&] { return !server_.requests().isEmpty(); }));
            EXPECT_TRUE(progress->findChild<QLabel*>("lHint")->isVisible());
            EXPECT_FALSE(progress->findChild<QWidget*>("Panel1")->isVisible());
            const auto start = std::chrono::steady_clock::now();
            progress->findChild<QPushButton*>("bStop")->click();
            EXPECT_TRUE(waitFor([&] { return QApplication::activeModalWidget() == lookup; }, std::chrono::seconds(2)));
            stopTook = std::chrono::steady_clock::now() - start;
        });
        query(lookup);
        // Stopped: the lookup window stays and a new query works.
        stoppedBackToLookup = lookup->isVisible();
        server_.configure({{"query", QJsonObject{{"*", "200 rock " + discId_ + " A / B\r\n"}}},
                           {"read", QJsonObject{{"rock " + discId_, entry(discId_, "A / B", {"Uno", "Dos"}, "Rock")}}}});
        query(lookup);
    });
    choose("miQueryFreedb");
    // At once, not at the request's time-out (with room for a busy machine).
    EXPECT_LT(stopTook, std::chrono::seconds(2));
    EXPECT_TRUE(stoppedBackToLookup);
    EXPECT_EQ(titles(), QStringList({"Uno", "Dos"}));
}

TEST_F(QueryCddbTest, NotFoundShowsTheHintAndFailuresShowTheirMessage)
{
    server_.configure({{"query", QJsonObject{{"*", "202 No match for disc ID " + discId_ + ".\r\n"}}}});
    start();
    const QStringList before = titles();

    QString reason;
    QString button;
    bool hintHidden = false;
    whenModal("frmQueryCDDB", [&](QWidget* lookup) {
        whenModal("frmStopQuery", [&](QWidget* progress) {
            auto* panel = progress->findChild<QWidget*>("Panel1");
            ASSERT_TRUE(waitFor([&] { return panel->isVisible(); }));
            hintHidden = !progress->findChild<QLabel*>("lHint")->isVisible();
            reason = progress->findChild<QLabel*>("lReason")->text();
            button = progress->findChild<QPushButton*>("bStop")->text();
            progress->findChild<QPushButton*>("bStop")->click();
        });
        query(lookup);
        EXPECT_TRUE(lookup->isVisible());  // not found: the lookup window stays
        lookup->findChild<QPushButton*>("bClose")->click();
    });
    choose("miQueryFreedb");
    EXPECT_TRUE(hintHidden);
    EXPECT_EQ(button, "Close");
    EXPECT_TRUE(reason.contains(discId_)) << reason.toStdString();
    EXPECT_EQ(titles(), before);
    EXPECT_TRUE(dialogs_.texts().isEmpty());

    // A failing server or entry: nothing changes, and the reason is shown.
    const auto failsWith = [&](const QJsonObject& config, const char* text) {
        SCOPED_TRACE(text);
        dialogs_.clear();
        server_.configure(config);
        whenModal("frmQueryCDDB", [&](QWidget* lookup) { query(lookup); });
        choose("miQueryFreedb");
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_EQ(titles(), before);
        ASSERT_EQ(dialogs_.shown().size(), 1u);
        EXPECT_EQ(dialogs_.shown()[0].icon, dw::MessageIcon::Error);
        EXPECT_EQ(dialogs_.shown()[0].caption, "Discwright");
        EXPECT_TRUE(dialogs_.texts()[0].contains(text)) << dialogs_.texts()[0].toStdString();
    };
    failsWith({{"query_mode", "status:503"}}, "503");
    failsWith({{"query", QJsonObject{{"*", "200 rock " + discId_ + " A / B\r\n"}}},
               {"read", QJsonObject{{"rock " + discId_, "401 rock " + discId_ + " No such CD entry in database.\r\n"}}}},
              "No such CD entry");

    // A disc whose table of contents can no longer be read opens no window.
    dialogs_.clear();
    ASSERT_TRUE(QFile::remove(cue_));
    ASSERT_TRUE(QFile::remove(cue_.left(cue_.size() - 4) + ".bin"));
    choose("miQueryFreedb");
    ASSERT_EQ(dialogs_.shown().size(), 1u);
    EXPECT_EQ(dialogs_.texts()[0], "Error while reading TOC information!");
    EXPECT_EQ(dialogs_.shown()[0].icon, dw::MessageIcon::Error);
    EXPECT_EQ(titles(), before);
}

TEST_F(QueryCddbTest, RipperModeQueriesWithoutAnyWindowAndDropsAResultForAnotherDisc)
{
    // The ripper-mode disc as the main window reaches it when the drive
    // library opens nothing.
    dw::TExtractDisc disc(dw::AppSettings);
    ASSERT_EQ(disc.Open(dw::TRipModeChoice::Ripper, 0), dw::TDiscProblem::None);
    ASSERT_EQ(disc.Listing().CDHandle, 0);
    ASSERT_NE(disc.Component(), nullptr);
    dw::AppSettings.Server = server_.url();
    QWidget window;
    dw::TQueryFreedb command(&window);
    int changed = 0;
    QObject::connect(&command, &dw::TQueryFreedb::rowsChanged, [&] { ++changed; });

    // The request runs off the main thread: a silent server does not block.
    server_.configure({{"query_mode", "silent"}});
    EXPECT_FALSE(command.Run(disc.Listing(), disc.Component()));
    EXPECT_TRUE(command.Busy());
    ASSERT_TRUE(waitFor([&] { return !server_.requests().isEmpty(); }));
    command.Cancel();
    EXPECT_FALSE(command.Busy());

    server_.configure({{"query", QJsonObject{{"*", "200 rock " + discId_ + " Can / Tago Mago\r\n"}}},
                       {"read", QJsonObject{{"rock " + discId_,
                                             entry(discId_, "Can / Tago Mago", {"Paperhouse", "Mushroom"}, "Rock")}}}});
    command.Run(disc.Listing(), disc.Component());
    ASSERT_TRUE(waitFor([&] { return changed == 1; }));
    EXPECT_EQ(disc.Listing().Rows[0].title, "Paperhouse");
    EXPECT_EQ(disc.Listing().Rows[1].title, "Mushroom");
    EXPECT_EQ(dw::AppSettings.DiscArtist, "Can");
    EXPECT_EQ(dw::AppSettings.DiscAlbum, "Tago Mago");
    EXPECT_EQ(dw::AppSettings.DiscGenre, dw::FindGenreName("Rock"));

    // A result for a listing that changed meanwhile is dropped.
    const int requests = int(server_.requests().size());
    command.Run(disc.Listing(), disc.Component());
    disc.Listing().Rows.pop_back();
    disc.Listing().Rows[0].title = "Kept";
    ASSERT_TRUE(waitFor([&] { return !command.Busy(); }));
    EXPECT_GT(int(server_.requests().size()), requests);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(disc.Listing().Rows[0].title, "Kept");
    EXPECT_TRUE(dialogs_.texts().isEmpty());  // nothing is ever shown
}

TEST_F(QueryCddbTest, BothWindowsTakeTheirTextsFromTheGermanFile)
{
    const auto texts = [](QWidget* window) {
        QStringList out{window->windowTitle()};
        for (auto* label : window->findChildren<QLabel*>())
            if (!label->text().isEmpty() && label->objectName() != "lReason")
                out << label->text();
        for (auto* button : window->findChildren<QAbstractButton*>())
            out << button->text();
        return out;
    };
    std::vector<dw::TrackRow> rows(2);
    dw::TDiscInfo values;
    // A lookup that ends only when stopped: the progress window as it runs.
    const auto waitsForStop = [](const std::atomic<bool>* stop) {
        while (!stop->load())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return dw::CddbLookupOutcome{};
    };
    QStringList english[2], german[2];
    for (const char* language : {"English", "German"}) {
        dw::AppSettings.Lan = language;
        QStringList* out = QString(language) == "English" ? english : german;
        dw::TfrmQueryCDDB lookup(1, 2, 1, rows, values);
        lookup.show();
        out[0] = texts(&lookup);
        dw::TfrmStopQuery progress(waitsForStop);
        progress.show();
        out[1] = texts(&progress);
        progress.reject();
    }
    for (int w = 0; w < 2; ++w) {
        ASSERT_EQ(english[w].size(), german[w].size());
        EXPECT_GE(english[w].size(), 4);
        for (int i = 0; i < english[w].size(); ++i)
            EXPECT_NE(english[w][i], german[w][i]) << qPrintable(english[w][i]);
    }
    // The hint panel is one text under one key.
    EXPECT_TRUE(english[1].contains(
        "No match found,perhaps:\n1.No information in CDDB server\n2.error CDDB options\n3.check the network"));
    EXPECT_TRUE(german[1].contains(dw::IniFile(sandbox_.programDir() + "/CLan_German.ini")
                                       .readString("frmStopQuery", "Panel1", "no such key")));
    EXPECT_TRUE(german[0].contains("Einen Proxyserver verwenden"));

    // The server box takes its entries and its text from the file as any
    // combo box does; without a _Text key it keeps the stored server.
    sandbox_.write(sandbox_.programDir() + "/CLan_Custom.ini",
                   "[frmQueryCDDB]\ncbServer_Item0=cddb.example.org\ncbServer_Item2=spiegel.example\n");
    dw::AppSettings.Lan = "Custom";
    dw::AppSettings.Server = dw::CddbServerHosts().at(3);
    {
        dw::TfrmQueryCDDB lookup(1, 2, 1, rows, values);
        lookup.show();
        auto* server = lookup.findChild<QComboBox*>("cbServer");
        EXPECT_EQ(server->itemText(0), "cddb.example.org");
        EXPECT_EQ(server->itemText(1), dw::CddbServerHosts().at(1));
        EXPECT_EQ(server->itemText(2), "spiegel.example");
        EXPECT_EQ(server->currentIndex(), 3);
        EXPECT_EQ(server->currentText(), dw::CddbServerHosts().at(3));
    }
    sandbox_.write(sandbox_.programDir() + "/CLan_Custom.ini", "[frmQueryCDDB]\ncbServer_Text=own.example\n");
    {
        dw::TfrmQueryCDDB lookup(1, 2, 1, rows, values);
        lookup.show();
        EXPECT_EQ(lookup.findChild<QComboBox*>("cbServer")->currentText(), "own.example");
    }

    // The match list, column headings included.
    dw::AppSettings.Lan = "German";
    dw::TfrmCddbMatch choose({"rock 0a0b0c0d A / B"});
    choose.show();
    EXPECT_EQ(choose.windowTitle(), "CDDB-Eintrag wählen");
    EXPECT_EQ(choose.findChild<QPushButton*>("bCancel")->text(), "Abbrechen");
    auto* header = choose.findChild<QTreeWidget*>("lvMatches")->headerItem();
    EXPECT_EQ(QStringList({header->text(0), header->text(1), header->text(2)}),
              QStringList({"Kategorie", "CD-Kennung", "Titel"}));
}

}  // namespace
