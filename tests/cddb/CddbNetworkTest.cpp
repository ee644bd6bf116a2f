// The HTTP layer, the drive library's CDDB functions and the query thread
// against the loopback CDDB server, well-behaved and not.

#include <gtest/gtest.h>

#include "app/JobEvents.h"
#include "cd/DriveCddb.h"
#include "cd/DriveLibrary.h"
#include "cd/DriveRecords.h"
#include "cddb/CDDBInfo.h"
#include "cddb/QueryCDDBThread.h"
#include "platform/CdDrives.h"
#include "platform/HttpClient.h"

#include "cddb/CddbTestDisc.h"
#include "fixtures/CddbServer.h"
#include "support/CdImages.h"
#include "support/TestSupport.h"

#include <QJsonObject>

#include <chrono>
#include <thread>

using namespace dw;
using Clock = std::chrono::steady_clock;

namespace {

const QString kEntry = "# Disc length: 12 seconds\r\n"
                       "DISCID=%1\r\n"
                       "DTITLE=Sigur R\u00f3s / ( )\r\n"
                       "DYEAR=2002\r\n"
                       "DGENRE=Ambient\r\n"
                       "TTITLE0=Untitled 1\r\n"
                       "TTITLE1=Untitled 2 (continued \r\n"
                       "TTITLE1=on a second line)\r\n"
                       "EXTD=\r\n"
                       "EXTT0=\r\nEXTT1=\r\nPLAYORDER=\r\n";

// A drive-library handle on a two-track image, closed at the end.
class ImageDrive {
public:
    explicit ImageDrive(const QString& dir)
    {
        cue = dwtest::makeCdImage(dir, {5, 7}, dwtest::CdImageOptions().silent());
        expected = dwtest::expectedCddbDisc(cue);
        SetExplicitCdDevices({cue});
        CdListRecord list{};
        list[0] = CdListMaxEntries;
        GetCDList(list);
        OpenRequestRecord req{};
        EncodeOpenRequest(OpenRequest{}, req);
        handle = GetCDHandle(req);
    }
    ~ImageDrive()
    {
        CloseCDHandle(handle);
        SetExplicitCdDevices({});
    }
    QString cue;
    dwtest::ExpectedCddbDisc expected;
    int handle = 0;
};

class ResultCatcher : public JobEventReceiver {
public:
    void cddbResult(int result, int errorCode) override { results.push_back(result); }
    std::vector<int> results;
};

void useServer(const dwtest::CddbServer& server, int totalMs = 20000)
{
    CDDBResetOptions();
    CDDBSetOption(CddbOptServer, server.url(), 0);
    CDDBSetOption(CddbOptTotalTimeout, {}, totalMs);
}

}  // namespace

TEST(HttpClient, ServersThatMisbehaveEndInAClearFailure)
{
    dwtest::CddbServer server;
    const QString url = server.url() + "/~cddb/cddb.cgi?cmd=cddb+query+0200c801+1+150+200&hello=a+b+c+d&proto=5";
    HttpOptions o;
    o.totalTimeoutMs = 1500;
    o.agent = "Discwright";

    server.configure({{"query", QJsonObject{{"*", "202 No match\r\n"}}}});
    HttpResult fine = HttpGet(url, o);
    ASSERT_TRUE(fine.ok()) << fine.error.toStdString();
    EXPECT_EQ(fine.body, "202 No match\r\n");
    EXPECT_EQ(server.requests().last()["agent"].toString(), "Discwright");

    const auto failsWith = [&](const char* mode, HttpFailure kind, const char* text, int64_t maxBytes = 1 << 20) {
        SCOPED_TRACE(mode);
        server.configure({{"query_mode", mode}});
        o.maxBytes = maxBytes;
        const auto start = Clock::now();
        const HttpResult r = HttpGet(url, o);
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
        EXPECT_EQ(r.failure, kind);
        EXPECT_TRUE(r.error.contains(text)) << r.error.toStdString();
        EXPECT_LE(r.body.size(), maxBytes);
    };
    failsWith("status:503", HttpFailure::HttpStatus, "HTTP status 503");
    failsWith("silent", HttpFailure::TimedOut, "in time");
    failsWith("slow", HttpFailure::TimedOut, "in time");
    failsWith("huge", HttpFailure::TooLarge, "larger than 65536 bytes", 65536);
    failsWith("reset", HttpFailure::Transfer, "127.0.0.1");

    o.connectTimeoutMs = 1000;
    const HttpResult unresolved = HttpGet("http://cddb.example.invalid/x", o);
    EXPECT_EQ(unresolved.failure, HttpFailure::Resolve);
    EXPECT_TRUE(unresolved.error.contains("cannot resolve the host name of cddb.example.invalid"));

    int closedPort = 0;
    {
        dwtest::CddbServer gone;
        closedPort = gone.port();
    }
    const HttpResult refused = HttpGet(QString("http://127.0.0.1:%1/x").arg(closedPort), o);
    EXPECT_EQ(refused.failure, HttpFailure::Refused);
    EXPECT_TRUE(refused.error.contains("refused")) << refused.error.toStdString();
}

// The request ends on the client's next look at the flag (every 50 ms), not
// at a time-out; the bound leaves room for a busy machine that holds either
// thread back for a while, and stays far below the shortest time-out.
TEST(HttpClient, StopEndsARequestAtOnce)
{
    dwtest::CddbServer server;
    server.configure({{"query_mode", "silent"}});
    std::atomic<bool> stop{false};
    HttpOptions o;
    o.stop = &stop;
    Clock::time_point stoppedAt;
    std::thread stopper([&] {
        // The request is under way once the server has logged it.
        dwtest::waitFor([&] { return !server.requests().isEmpty(); }, std::chrono::seconds(10));
        stoppedAt = Clock::now();
        stop = true;
    });
    const HttpResult r = HttpGet(server.url() + "/?cmd=cddb+query+1", o);
    const auto ended = Clock::now();
    stopper.join();
    EXPECT_EQ(r.failure, HttpFailure::Stopped);
    EXPECT_LT(ended - stoppedAt, std::chrono::seconds(2));
}

TEST(HttpClient, ProxiesFromTheEnvironmentAndFromTheSettings)
{
    dwtest::CddbServer proxy;
    proxy.configure({{"query", QJsonObject{{"*", "202 No match\r\n"}}}});
    const QString url = "http://cddb.example.invalid/~cddb/cddb.cgi?cmd=cddb+query+1&proto=5";

    HttpOptions explicitProxy;
    explicitProxy.proxyHost = "127.0.0.1";
    explicitProxy.proxyPort = proxy.port();
    ASSERT_TRUE(HttpGet(url, explicitProxy).ok());

    const QByteArray old = qgetenv("http_proxy");
    qputenv("http_proxy", proxy.url().toUtf8());
    const HttpResult viaEnv = HttpGet(url);
    if (old.isNull())
        qunsetenv("http_proxy");
    else
        qputenv("http_proxy", old);
    ASSERT_TRUE(viaEnv.ok()) << viaEnv.error.toStdString();
    // A proxy gets the whole URL as the request's target.
    const auto requests = proxy.requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[0]["path"].toString(), url);
    EXPECT_EQ(requests[1]["path"].toString(), url);
}

TEST(DriveCddb, QueryListsMatchesAndReadsEntries)
{
    dwtest::Sandbox box;
    dwtest::CddbServer server;
    ImageDrive drive(box.path());
    ASSERT_NE(drive.handle, 0);
    const QString id = drive.expected.discId;
    server.configure({{"query", QJsonObject{{id, "210 Found exact matches, list follows (until terminating `.')\r\n"
                                                 "misc " + id + " Sigur Ros / ( )\r\n"
                                                 "bad&cat " + id + " Smuggled / Category\r\n"
                                                 "rock " + id + " Other / Match\r\n.\r\n"}}},
                      {"read", QJsonObject{{"misc " + id, dwtest::cddbReadAnswer("misc", id, kEntry.arg(id))},
                                           {"rock " + id, QJsonObject{{"text", dwtest::cddbReadAnswer("rock", id,
                                                              "DTITLE=Bj\u00f6rk / Homogenic\r\nTTITLE0=J\u00f3ga\r\n")},
                                                          {"encoding", "latin-1"}}}}}});
    useServer(server);
    CddbMatchList list;
    ASSERT_EQ(CDDBQuery(drive.handle, list), 1) << GetAspiLibErrorText().toStdString();
    ASSERT_EQ(list.count, 2);
    EXPECT_EQ(CddbMatchText(list.matches[0]), "misc " + id + " Sigur Ros / ( )");
    const QJsonObject query = server.requests().last()["params"].toObject();
    EXPECT_EQ(query["cmd"].toString(), "cddb query " + id + " " + drive.expected.queryArgs);

    std::vector<char> buffer(CddbEntryBufferSize);
    ASSERT_EQ(CDDBGetDiskInfo(list.matches[1], buffer), 1);
    EXPECT_EQ(QString::fromUtf8(buffer.data()), QString::fromUtf8("DTITLE=Björk / Homogenic\nTTITLE0=Jóga\n"));

    // A small buffer holds whole lines only.
    std::vector<char> small(40);
    ASSERT_EQ(CDDBGetDiskInfo(list.matches[0], small), 1);
    EXPECT_EQ(QString::fromUtf8(small.data()), "# Disc length: 12 seconds\n");

    server.configure({{"query", QJsonObject{{"*", "403 Database entry is corrupt\r\n"}}}});
    EXPECT_EQ(CDDBQuery(drive.handle, list), 0);
    EXPECT_EQ(GetAspiLibError(), AlCddbFailed);
    EXPECT_EQ(GetAspiLibErrorText(), "CDDB query: the server answered 403 Database entry is corrupt");

    server.configure({{"query", QJsonObject{{"*", "202 No match for disc ID\r\n"}}}});
    EXPECT_EQ(CDDBQuery(drive.handle, list), 1);
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(GetAspiLibError(), AlCddbNoMatch);

    server.configure({{"read", QJsonObject{{"*", "401 misc " + id + " No such CD entry in database\r\n"}}}});
    EXPECT_EQ(CDDBGetDiskInfo(list.matches[0], buffer), 0);
    CddbMatchList again;
    server.configure({{"query", QJsonObject{{"*", "200 misc " + id + " A / B\r\n"}}},
                      {"read", QJsonObject{{"*", "401 misc " + id + " No such CD entry in database\r\n"}}}});
    ASSERT_EQ(CDDBQuery(drive.handle, again), 1);
    EXPECT_EQ(CDDBGetDiskInfo(again.matches[0], buffer), 0);
    EXPECT_EQ(GetAspiLibErrorText(), "CDDB read: the server answered 401 misc " + id + " No such CD entry in database");
    CDDBResetOptions();
}

TEST(QueryCDDBThread, PostsTheResultOrStopsAtOnce)
{
    dwtest::Sandbox box;
    dwtest::CddbServer server;
    ImageDrive drive(box.path());
    const QString id = drive.expected.discId;
    server.configure({{"query", QJsonObject{{"*", "200 misc " + id + " Sigur Ros / ( )\r\n"}}},
                      {"read", QJsonObject{{"*", dwtest::cddbReadAnswer("misc", id, kEntry.arg(id))}}}});
    useServer(server);

    ResultCatcher window;
    {
        TQueryCDDBThread thread(1, 2, drive.handle, &window);
        ASSERT_TRUE(dwtest::waitFor([&] { return !window.results.empty(); }));
        EXPECT_EQ(window.results, std::vector<int>{CDDB_RESULT_FINISHED});
        EXPECT_FALSE(thread.Running());
        const CddbLookupOutcome o = thread.Outcome();
        ASSERT_TRUE(o.hasValues);
        EXPECT_EQ(*o.values.artist, QString::fromUtf8("Sigur Rós"));
        EXPECT_EQ(*o.values.album, "( )");
        ASSERT_EQ(o.values.titles.size(), 2u);
        EXPECT_EQ(o.values.titles[1], "Untitled 2 (continued on a second line)");
    }

    window.results.clear();
    server.configure({{"query", QJsonObject{{"*", "202 No match\r\n"}}}});
    {
        TQueryCDDBThread thread(1, 2, drive.handle, &window);
        ASSERT_TRUE(dwtest::waitFor([&] { return !window.results.empty(); }));
        EXPECT_EQ(window.results, std::vector<int>{CDDB_RESULT_NOT_FOUND});
    }

    // Ripper mode runs on the same thread class.
    window.results.clear();
    server.configure({{"query", QJsonObject{{"*", "200 misc " + id + " Sigur Ros / ( )\r\n"}}},
                      {"read", QJsonObject{{"*", dwtest::cddbReadAnswer("misc", id, kEntry.arg(id))}}}});
    {
        TCDDBInfo client;
        client.Server.base = server.url();
        TQueryCDDBThread thread(
            TQueryCDDBThread::RipperModeLookup(client.Server, client.Http, CddbTocFromSectors({0, 375, 900})), &window);
        ASSERT_TRUE(dwtest::waitFor([&] { return !window.results.empty(); }));
        ASSERT_EQ(thread.Outcome().values.titles.size(), 2u);
        EXPECT_EQ(thread.Outcome().values.titles[1], "Untitled 2 (continued on a second line)");
        EXPECT_EQ(thread.Outcome().discId, CddbDiscId(CddbTocFromSectors({0, 375, 900})));
    }

    // Stop: the request is cut, no event comes.
    window.results.clear();
    server.configure({{"query_mode", "silent"}});
    const qsizetype before = server.requests().size();
    {
        TQueryCDDBThread thread(1, 2, drive.handle, &window);
        ASSERT_TRUE(dwtest::waitFor([&] { return server.requests().size() > before; }, std::chrono::seconds(10)));
        // Stop does not wait for the request, which the silent server would
        // hold until the time-out.
        const auto start = Clock::now();
        thread.Stop();
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
        EXPECT_FALSE(thread.Running());
    }
    // The caller's token stops it the same way, and the lookup sees it cancelled.
    {
        TCancelToken token;
        auto sawCancel = std::make_shared<std::atomic<bool>>(false);
        TQueryCDDBThread thread(
            [url = server.url(), sawCancel](const std::atomic<bool>* stop) {
                TCDDBInfo client;
                client.Server.base = url;
                client.Http.stop = stop;
                CddbLookupOutcome o = RunRipperCddbLookup(client, CddbTocFromSectors({0, 375, 900}));
                *sawCancel = stop->load();
                return o;
            },
            &window, token);
        ASSERT_TRUE(dwtest::waitFor([&] { return server.requests().size() > before + 1; }, std::chrono::seconds(10)));
        EXPECT_TRUE(thread.Running());
        token.Cancel();
        EXPECT_FALSE(thread.Running());
        ASSERT_TRUE(dwtest::waitFor([&] { return sawCancel->load(); }, std::chrono::seconds(5)));
    }
    // Give a late event every chance to arrive before checking that none did.
    dwtest::waitFor([] { return false; }, std::chrono::milliseconds(400));
    EXPECT_TRUE(window.results.empty());
    CDDBResetOptions();
}
