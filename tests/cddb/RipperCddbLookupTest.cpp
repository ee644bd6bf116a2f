// The ripper-mode lookup the main window and `cddb --mode ripper` share: the
// disc read through the CD input component, the network part off the main
// thread; the caller's cancellation token abandons it with no result, a
// complete one gives the album, and options naming no server start nothing.
#include "cd/CDIn.h"
#include "cd/DiscListing.h"
#include "cddb/DiscLookup.h"
#include "platform/CdDrives.h"

#include "cddb/CddbTestDisc.h"
#include "fixtures/CddbServer.h"
#include "support/CdImages.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QJsonObject>

#include <chrono>

namespace {

using namespace dw;

TEST(RipperCddbLookup, ATokenAbandonsItAndACompleteOneGivesTheAlbum)
{
    dwtest::Sandbox box;
    dwtest::CddbServer server;
    const QString cue = dwtest::makeCdImage(box.path(), {5, 7}, dwtest::CdImageOptions().silent());
    const QString id = dwtest::expectedCddbDisc(cue).discId;
    SetExplicitCdDevices({cue});
    TDiscInfo disc;
    DiscListing listing(disc);
    TCDIn component;
    DiscListing::SelectComponentDrive(component, 0);
    listing.ListThroughComponent(component);
    ASSERT_EQ(listing.Rows.size(), 2u);
    EXPECT_EQ(CddbModeFor(listing), TCddbMode::Ripper);

    TStoredOptions options;
    options.Server = server.url();
    TRipperCddbLookup lookup;
    std::vector<CddbLookupOutcome> results;
    QObject::connect(&lookup, &TRipperCddbLookup::finished,
                     [&](const CddbLookupOutcome& outcome) { results.push_back(outcome); });

    server.configure({{"query_mode", "silent"}});
    TCancelToken token;
    QString why;
    ASSERT_TRUE(lookup.Start(listing, component, options, token, &why)) << why.toStdString();
    EXPECT_FALSE(lookup.Start(listing, component, options, token, &why)) << "one lookup at a time";
    ASSERT_TRUE(dwtest::waitFor([&] { return !server.requests().isEmpty(); }));
    const auto cancelled = std::chrono::steady_clock::now();
    token.Cancel();
    ASSERT_TRUE(dwtest::waitFor([&] { return !lookup.Busy(); }, std::chrono::seconds(5)));
    EXPECT_LT(std::chrono::steady_clock::now() - cancelled, std::chrono::seconds(2));
    EXPECT_TRUE(results.empty()) << "an abandoned lookup reports nothing";

    server.configure(
        {{"query", QJsonObject{{"*", "200 rock " + id + " Can / Tago Mago\r\n"}}},
         {"read", QJsonObject{{"rock " + id, dwtest::cddbReadAnswer("rock", id, "DTITLE=Can / Tago Mago\r\n"
                                                                               "TTITLE0=Paperhouse\r\n"
                                                                               "TTITLE1=Mushroom\r\n")}}}});
    ASSERT_TRUE(lookup.Start(listing, component, options, TCancelToken(), &why)) << why.toStdString();
    ASSERT_TRUE(dwtest::waitFor([&] { return results.size() == 1; }));
    EXPECT_EQ(results[0].kind, CddbLookupOutcome::Finished);
    EXPECT_EQ(results[0].discId, id);
    ASSERT_TRUE(results[0].hasValues);
    EXPECT_EQ(results[0].values.titles, (std::vector<QString>{"Paperhouse", "Mushroom"}));
    EXPECT_EQ(results[0].values.artist, QString("Can"));
    EXPECT_TRUE(lookup.SameDisc(listing));
    listing.Rows.pop_back();
    EXPECT_FALSE(lookup.SameDisc(listing));

    options.Server = "ftp://x";
    EXPECT_FALSE(lookup.Start(listing, component, options, TCancelToken(), &why));
    EXPECT_TRUE(why.contains("ftp://x")) << why.toStdString();
    EXPECT_FALSE(lookup.Busy());
    SetExplicitCdDevices({});
}

}  // namespace
