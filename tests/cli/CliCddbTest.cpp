#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "../cddb/CddbTestDisc.h"
#include "fixtures/CddbServer.h"
#include "support/CdImages.h"
#include "support/TestSupport.h"

#include <chrono>

#include <csignal>

using dwtest::runCli;

namespace {

QJsonObject json(const dwtest::CliResult& r) { return QJsonDocument::fromJson(r.out.toUtf8()).object(); }

QStringList titles(const QJsonObject& doc)
{
    QStringList out;
    for (const QJsonValue& t : doc["tracks"].toArray())
        out << t.toObject()["title"].toString();
    return out;
}

}  // namespace

TEST(CliCddb, LooksUpChoosesAMatchAndAppliesItForListing)
{
    dwtest::Sandbox box;
    dwtest::CddbServer server;
    // Tracks 3 and 4, then a data track: titles go by the disc's own order.
    const QString img = dwtest::makeCdImage(
        box.path(), {20, 30}, dwtest::CdImageOptions().silent().numberedFrom(3).withDataTrack("0:10"));
    const dwtest::ExpectedCddbDisc disc = dwtest::expectedCddbDisc(img);
    const QString id = disc.discId;
    server.configure(
        {{"query", QJsonObject{{id, "211 close matches found\r\n"
                                    "rock " + id + " First / Match\r\n"
                                    "jazz " + id + " Second / Match\r\n.\r\n"}}},
         {"read", QJsonObject{
              {"rock " + id, dwtest::cddbReadAnswer("rock", id, "DTITLE=First / Match\r\nDYEAR=1999\r\n"
                                                                "DGENRE=Rock\r\nTTITLE0=One\r\nTTITLE1=Two\r\n"
                                                                "TTITLE2=Data\r\nTTITLE3=Beyond the disc\r\n")},
              {"jazz " + id, QJsonObject{{"text", dwtest::cddbReadAnswer("jazz", id,
                                                      "DTITLE=Caf\u00e9 Trio / Nuit\r\nDGENRE=Jazz\r\n"
                                                      "TTITLE0=../../etc/passwd\r\nTTITLE1=Deux \r\nTTITLE1=suite\r\n")},
                                         {"encoding", "latin-1"}}}}}});

    auto first = runCli({"cddb", "--device", img, "--server", server.url(), "--json"});
    ASSERT_EQ(first.status, 0) << first.err.toStdString();
    QJsonObject doc = json(first);
    EXPECT_EQ(doc["discId"].toString(), id);
    EXPECT_EQ(doc["matches"].toArray().size(), 2);
    EXPECT_EQ(doc["chosen"].toInt(), 1);
    EXPECT_EQ(doc["artist"].toString(), "First");
    EXPECT_EQ(doc["year"].toString(), "1999");
    EXPECT_EQ(doc["genre"].toString(), "Rock");
    EXPECT_EQ(titles(doc), (QStringList{"One", "Two", "Data"}));
    EXPECT_FALSE(doc["applied"].toBool());
    // The query carried the disc's own id and arguments.
    EXPECT_EQ(server.requests().first()["params"].toObject()["cmd"].toString(),
              "cddb query " + id + " " + disc.queryArgs);

    auto second = runCli({"cddb", "--device", img, "--server", server.url(), "--match", "2", "--apply"});
    ASSERT_EQ(second.status, 0) << second.err.toStdString();
    EXPECT_TRUE(second.out.contains(QString::fromUtf8("Artist: Café Trio"))) << second.out.toStdString();

    auto list = runCli({"list", "--device", img, "--json"});
    ASSERT_EQ(list.status, 0) << list.err.toStdString();
    doc = json(list);
    EXPECT_EQ(doc["artist"].toString(), QString::fromUtf8("Café Trio"));
    EXPECT_EQ(doc["album"].toString(), "Nuit");
    EXPECT_EQ(titles(doc), (QStringList{"../../etc/passwd", "Deux suite", "Track05"}));

    auto noMatch = runCli({"cddb", "--device", img, "--server", server.url(), "--match", "3"});
    EXPECT_NE(noMatch.status, 0);
    EXPECT_EQ(noMatch.err, "discwright-cli: no match 3: the server gave 2\n");
}

TEST(CliCddb, ServerFailuresEndInOneClearLine)
{
    dwtest::Sandbox box;
    dwtest::CddbServer server;
    const QString img = dwtest::makeCdImage(box.path(), {10}, dwtest::CdImageOptions().silent());
    const QString id = dwtest::expectedCddbDisc(img).discId;
    const auto run = [&](const QJsonObject& config, const QStringList& extra = {}) {
        server.configure(config);
        return runCli(QStringList{"cddb", "--device", img, "--server", server.url()} + extra);
    };
    const auto expectLine = [](const dwtest::CliResult& r, const QString& text) {
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "discwright-cli: " + text + "\n");
        EXPECT_TRUE(r.out.isEmpty());
    };

    expectLine(run({{"query", QJsonObject{{"*", "202 No match for disc ID " + id + ".\r\n"}}}}),
               "no CDDB entry for disc " + id + " (no match for disc " + id + ")");
    expectLine(run({{"query", QJsonObject{{"*", "403 Database entry is corrupt\r\n"}}}}),
               "CDDB query: the server answered 403 Database entry is corrupt");
    expectLine(run({{"query", QJsonObject{{"*", "<html><body>Gateway</body></html>\r\n"}}}}),
               "CDDB query: the server's answer is no CDDB response (\"<html><body>Gateway</body></html>\")");
    expectLine(run({{"query_mode", "status:500"}}),
               QString("CDDB query: 127.0.0.1:%1 answered with HTTP status 500").arg(server.port()));

    // An entry cut short still gives the titles that arrived.
    const auto cut = run({{"query", QJsonObject{{"*", "200 misc " + id + " A / B\r\n"}}},
                          {"read", QJsonObject{{"*", "210 misc " + id + " entry follows\r\nDTITLE=A / B\r\nTTITLE0=Half"}}}});
    ASSERT_EQ(cut.status, 0) << cut.err.toStdString();
    EXPECT_TRUE(cut.out.contains(" 1  Half")) << cut.out.toStdString();

    const auto start = std::chrono::steady_clock::now();
    const auto silent = run({{"query_mode", "silent"}}, {"--timeout", "2"});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(silent.status, 1);
    EXPECT_TRUE(silent.err.startsWith(QString("discwright-cli: CDDB query: no complete answer from 127.0.0.1:%1 in time")
                                          .arg(server.port())))
        << silent.err.toStdString();

    // Without the HTTP library the lookup says which library is missing.
    qputenv("DISCWRIGHT_CURL_LIBDIR", box.file("no-libs").toLocal8Bit());
    const auto noCurl = run({{"query_mode", "status:500"}});
    qunsetenv("DISCWRIGHT_CURL_LIBDIR");
    EXPECT_EQ(noCurl.status, 1);
    EXPECT_TRUE(noCurl.err.contains("libcurl.so.4 library could not be loaded.")) << noCurl.err.toStdString();

    const auto bad = runCli({"cddb", "--device", img, "--server", "ftp://x"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err, "discwright-cli: --server names no HTTP server: ftp://x\n");
}

// An entry with a NUL byte is damaged: --apply refuses it whole with a
// message, so the disc keeps every value of the entry applied before instead
// of ending up with titles from two entries.
TEST(CliCddb, ADamagedEntryIsRefusedWholeAndChangesNothing)
{
    dwtest::Sandbox box;
    dwtest::CddbServer server;
    const QString img = dwtest::makeCdImage(box.path(), {10, 10, 10}, dwtest::CdImageOptions().silent());
    const QString id = dwtest::expectedCddbDisc(img).discId;
    const QJsonObject query{{"*", "200 rock " + id + " Some / Disc\r\n"}};
    server.configure({{"query", query},
                      {"read", QJsonObject{{"*", dwtest::cddbReadAnswer("rock", id,
                                                                        "DTITLE=Good / One\r\nTTITLE0=A\r\n"
                                                                        "TTITLE1=B\r\nTTITLE2=C\r\n")}}}});
    auto good = runCli({"cddb", "--device", img, "--server", server.url(), "--apply"});
    ASSERT_EQ(good.status, 0) << good.err.toStdString();

    const QString cut = "DTITLE=Bad / Two\r\nTTITLE0=X" + QString(QChar(0)) + "rest of the entry\r\nTTITLE1=Y\r\n";
    server.configure({{"query", query}, {"read", QJsonObject{{"*", dwtest::cddbReadAnswer("rock", id, cut)}}}});
    for (const QStringList& extra : {QStringList{}, QStringList{"--match", "1"}}) {
        auto bad = runCli(QStringList{"cddb", "--device", img, "--server", server.url(), "--apply"} + extra);
        EXPECT_EQ(bad.status, 1) << extra.join(' ').toStdString();
        EXPECT_TRUE(bad.err.contains("CDDB read: the entry of rock " + id +
                                     " is damaged (line 2 of the entry holds the control character 0x00)"))
            << bad.err.toStdString();
        EXPECT_TRUE(bad.out.isEmpty()) << bad.out.toStdString();
    }
    auto list = runCli({"list", "--device", img, "--json"});
    ASSERT_EQ(list.status, 0) << list.err.toStdString();
    const QJsonObject doc = json(list);
    EXPECT_EQ(doc["artist"].toString(), "Good");
    EXPECT_EQ(doc["album"].toString(), "One");
    EXPECT_EQ(titles(doc), (QStringList{"A", "B", "C"}));
}

// Ripper mode reads the disc through the CD input component and asks with the
// HTTP client, as the window does without the drive library: the server
// sees the same disc id and arguments, the titles and disc values are those
// drive mode gives, --apply keeps them for list, and a signal ends a lookup
// the server does not answer at once with status 130.
TEST(CliCddb, RipperModeFindsWhatDriveModeFinds)
{
    dwtest::Sandbox box;
    dwtest::CddbServer server;
    const QString img = dwtest::makeCdImage(box.path(), {10, 12, 14}, dwtest::CdImageOptions().silent());
    const dwtest::ExpectedCddbDisc disc = dwtest::expectedCddbDisc(img);
    const QString id = disc.discId;
    server.configure(
        {{"query", QJsonObject{{id, "200 rock " + id + " Band / Record\r\n"}}},
         {"read", QJsonObject{{"rock " + id,
                               dwtest::cddbReadAnswer("rock", id, "DTITLE=Band / Record\r\nDYEAR=2001\r\nDGENRE=Rock\r\n"
                                                                  "TTITLE0=Alpha\r\nTTITLE1=Beta\r\nTTITLE2=Gamma\r\n")}}}});

    const auto drive = runCli({"cddb", "--device", img, "--server", server.url(), "--json"});
    ASSERT_EQ(drive.status, 0) << drive.err.toStdString();
    const int driveRequests = int(server.requests().size());
    const auto ripper = runCli({"cddb", "--device", img, "--server", server.url(), "--mode", "ripper", "--json"});
    ASSERT_EQ(ripper.status, 0) << ripper.err.toStdString();
    const QJsonObject a = json(drive);
    const QJsonObject b = json(ripper);
    EXPECT_EQ(titles(b), (QStringList{"Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(titles(b), titles(a));
    for (const char* key : {"discId", "artist", "album", "year", "genre", "chosen"})
        EXPECT_EQ(b[key], a[key]) << key;
    EXPECT_EQ(b["discId"].toString(), id);
    const QList<QJsonObject> requests = server.requests();
    ASSERT_GT(requests.size(), driveRequests);
    EXPECT_EQ(requests[driveRequests]["params"].toObject()["cmd"].toString(),
              "cddb query " + id + " " + disc.queryArgs);

    const auto apply = runCli({"cddb", "--device", img, "--server", server.url(), "--mode", "ripper", "--apply"});
    ASSERT_EQ(apply.status, 0) << apply.err.toStdString();
    const auto list = runCli({"list", "--device", img, "--json"});
    ASSERT_EQ(list.status, 0) << list.err.toStdString();
    EXPECT_EQ(titles(json(list)), (QStringList{"Alpha", "Beta", "Gamma"}));
    EXPECT_EQ(json(list)["artist"].toString(), "Band");

    const auto bogus = runCli({"cddb", "--device", img, "--mode", "both"});
    EXPECT_EQ(bogus.status, 2);
    EXPECT_EQ(bogus.err, "discwright-cli: --mode is drive or ripper\n");
    const auto match = runCli({"cddb", "--device", img, "--mode", "ripper", "--match", "2"});
    EXPECT_EQ(match.status, 2);
    EXPECT_TRUE(match.err.contains("--match works in drive mode")) << match.err.toStdString();

    server.configure({{"query_mode", "silent"}});
    const int before = int(server.requests().size());
    QProcess p;
    p.start(dwtest::binDir() + "/discwright-cli",
            {"cddb", "--device", img, "--server", server.url(), "--mode", "ripper", "--timeout", "60"});
    ASSERT_TRUE(p.waitForStarted());
    ASSERT_TRUE(dwtest::waitFor([&] { return server.requests().size() > before || p.state() == QProcess::NotRunning; }));
    ASSERT_EQ(p.state(), QProcess::Running) << p.readAllStandardError().toStdString();
    const auto start = std::chrono::steady_clock::now();
    ::kill(pid_t(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(p.exitCode(), 130) << p.readAllStandardError().toStdString();
    EXPECT_EQ(p.readAllStandardError(), "discwright-cli: stopped by SIGTERM\n");
}

// A lookup the server never answers ends on a stop signal in either mode,
// once the server has the query: status 130 with the signal named, long
// before the lookup's time-out, and --apply leaves the disc cache as an
// earlier lookup wrote it.
TEST(CliCddb, ASignalEndsAnUnansweredLookupInEitherModeAndKeepsTheCache)
{
    dwtest::Sandbox box;
    dwtest::CddbServer server;
    const QString img = dwtest::makeCdImage(box.path(), {10, 12}, dwtest::CdImageOptions().silent());
    const QString id = dwtest::expectedCddbDisc(img).discId;
    server.configure({{"query", QJsonObject{{id, "200 rock " + id + " Band / Record\r\n"}}},
                      {"read", QJsonObject{{"rock " + id, dwtest::cddbReadAnswer("rock", id,
                                                                                "DTITLE=Band / Record\r\n"
                                                                                "TTITLE0=Alpha\r\nTTITLE1=Beta\r\n")}}}});
    const auto applied = runCli({"cddb", "--device", img, "--server", server.url(), "--apply"});
    ASSERT_EQ(applied.status, 0) << applied.err.toStdString();
    QFile cacheFile(box.discCache());
    ASSERT_TRUE(cacheFile.open(QIODevice::ReadOnly));
    const QByteArray cache = cacheFile.readAll();
    cacheFile.close();

    server.configure({{"query_mode", "silent"}});
    const std::vector<std::pair<QString, int>> cases = {{"drive", SIGINT}, {"ripper", SIGINT}, {"drive", SIGTERM}};
    for (const auto& [mode, sig] : cases) {
        const QString name = sig == SIGINT ? "SIGINT" : "SIGTERM";
        const std::string what = (mode + " " + name).toStdString();
        const int before = int(server.requests().size());
        QProcess p;
        p.start(dwtest::binDir() + "/discwright-cli", {"cddb", "--device", img, "--server", server.url(), "--mode",
                                                       mode, "--timeout", "600", "--apply"});
        ASSERT_TRUE(p.waitForStarted()) << what;
        ASSERT_TRUE(dwtest::waitFor([&] { return server.requests().size() > before || p.state() == QProcess::NotRunning; }))
            << what;
        ASSERT_EQ(p.state(), QProcess::Running) << what << " " << p.readAllStandardError().toStdString();
        ::kill(pid_t(p.processId()), sig);
        ASSERT_TRUE(p.waitForFinished(120000)) << what;
        EXPECT_EQ(p.exitCode(), 130) << what;
        EXPECT_EQ(QString::fromUtf8(p.readAllStandardError()), "discwright-cli: stopped by " + name + "\n") << what;
        EXPECT_TRUE(p.readAllStandardOutput().isEmpty()) << what;
        ASSERT_TRUE(cacheFile.open(QIODevice::ReadOnly));
        EXPECT_TRUE(cacheFile.readAll() == cache) << what;
        cacheFile.close();
    }
    const auto list = runCli({"list", "--device", img, "--json"});
    ASSERT_EQ(list.status, 0) << list.err.toStdString();
    EXPECT_EQ(titles(json(list)), (QStringList{"Alpha", "Beta"}));
}
