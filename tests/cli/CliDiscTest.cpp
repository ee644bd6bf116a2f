#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include "platform/IniFile.h"
#include "support/CdImages.h"
#include "support/TestSupport.h"

using dwtest::runCli;

namespace {

void expectOneErrorLine(const dwtest::CliResult& r, const QString& text)
{
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.err, "discwright-cli: " + text + "\n");
}

}  // namespace

TEST(CliDisc, DrivesListsImagesInOrder)
{
    dwtest::Sandbox box;
    const QString a = dwtest::makeCdImage(box.path(), {3}, dwtest::CdImageOptions().named("first"));
    const QString b = dwtest::makeCdImage(box.path(), {3}, dwtest::CdImageOptions().named("second"));

    auto one = runCli({"drives", "--device", a});
    ASSERT_EQ(one.status, 0) << one.err.toStdString();
    EXPECT_EQ(one.out.count('\n'), 1);
    EXPECT_EQ(one.out.simplified(), "0 Image first " + a);

    qputenv("DISCWRIGHT_CD_IMAGES", (a + ":" + box.file("gone.cue") + ":" + b).toUtf8());
    auto json = runCli({"drives", "--json"});
    ASSERT_EQ(json.status, 0) << json.err.toStdString();
    const QJsonArray drives = QJsonDocument::fromJson(json.out.toUtf8()).array();
    ASSERT_GE(drives.size(), 2);
    const QJsonObject last = drives.last().toObject();
    EXPECT_EQ(last["path"].toString(), b);
    EXPECT_EQ(last["vendor"].toString(), "Image");
    EXPECT_EQ(last["product"].toString(), "second");
    EXPECT_EQ(drives[drives.size() - 2].toObject()["path"].toString(), a);
}

TEST(CliDisc, ListShowsTheRowsAndCachedTitles)
{
    dwtest::Sandbox box;
    const QString img = dwtest::makeCdImageFrom(box.path(), {"4:07", "0:03", "1:00:30"}, dwtest::CdImageOptions().silent());

    auto text = runCli({"list", "--device", img});
    ASSERT_EQ(text.status, 0) << text.err.toStdString();
    const QStringList lines = text.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5) << text.out.toStdString();
    EXPECT_EQ(lines[0], "Image   disc");
    EXPECT_EQ(lines[1].simplified(), "No. Title Length(min) Size(MB)");
    EXPECT_EQ(lines[2].simplified(), "1 Track01 04:07 41.55");
    EXPECT_EQ(lines[3].simplified(), "2 Track02 00:03 00.50");
    EXPECT_EQ(lines[4].simplified(), "3 Track03 01:00 10.09");

    auto renamed = runCli({"title", "--device", img, "2", "A/B:", "C?"});
    ASSERT_EQ(renamed.status, 0) << renamed.err.toStdString();
    auto json = runCli({"list", "--device", img, "--json"});
    ASSERT_EQ(json.status, 0) << json.err.toStdString();
    const QJsonObject doc = QJsonDocument::fromJson(json.out.toUtf8()).object();
    const QJsonArray tracks = doc["tracks"].toArray();
    ASSERT_EQ(tracks.size(), 3);
    EXPECT_EQ(tracks[1].toObject()["title"].toString(), "A/B: C?");
    EXPECT_EQ(tracks[0].toObject()["title"].toString(), "Track01");
    EXPECT_EQ(tracks[2].toObject()["size"].toString(), "10.09");

    const QString key = doc["discKey"].toString();
    ASSERT_FALSE(key.isEmpty());
    dw::IniFile cache(box.discCache());
    EXPECT_EQ(cache.readInteger(key, "TrackNumber", 0), 3);
    EXPECT_EQ(cache.readString(key, "2", ""), "A/B: C?");
    // Listing never writes the cache, and does not create the settings file.
    EXPECT_FALSE(QFile::exists(box.configHome() + "/Quobel/Discwright/options.ini"));
}

TEST(CliDisc, NoDriveNoAudioCdAndBadArgumentsFailWithOneLine)
{
    dwtest::Sandbox box;
    const QString data = dwtest::makeCdImageFrom(box.path(), {}, dwtest::CdImageOptions().named("data").withDataTrack("4"));
    const QString audio = dwtest::makeCdImage(box.path(), {4, 4}, dwtest::CdImageOptions().named("audio"));

    qputenv("DISCWRIGHT_CD_IMAGES", box.file("nothing.cue").toUtf8());
    auto none = runCli({"list"});
    auto noneJson = runCli({"drives", "--json"});
    if (none.status != 0 && none.err.contains("No CD devices")) {  // no physical drive on this machine
        // The configured image that cannot be opened is named with the reason.
        expectOneErrorLine(none, "No CD devices found! (" + box.file("nothing.cue") + ": No such file or directory)");
        EXPECT_EQ(noneJson.status, 0);
        EXPECT_EQ(QJsonDocument::fromJson(noneJson.out.toUtf8()).array(), QJsonArray());
        EXPECT_EQ(noneJson.out.simplified(), "[ ]");
    }
    expectOneErrorLine(runCli({"list", "--device", data}), "Can not find audio CD in your CD device.");
    // An image that cannot be opened says why, not that there is no drive.
    expectOneErrorLine(runCli({"list", "--device", box.file("missing.cue")}),
                       box.file("missing.cue") + ": No such file or directory");
    box.write("junk.cue", "garbage");
    expectOneErrorLine(runCli({"title", "--device", box.file("junk.cue"), "1", "x"}),
                       box.file("junk.cue") + ": line 1: cannot read \"garbage\"");
    const QString noBin = dwtest::makeCdImage(box.path(), {4}, dwtest::CdImageOptions().named("nobin"));
    QFile::remove(dwtest::binPathOf(noBin));
    expectOneErrorLine(runCli({"drives", "--device", noBin}),
                       noBin + ": line 1: " + dwtest::binPathOf(noBin) + ": No such file or directory");

    for (const QStringList& args : {QStringList{"title", "--device", audio, "3", "x"},
                                    QStringList{"title", "--device", audio, "0", "x"},
                                    QStringList{"title", "--device", audio, "two", "x"},
                                    QStringList{"title", "--device", audio, "1"},
                                    QStringList{"title", "--device", audio, "1", ""},
                                    QStringList{"list", "--device"},
                                    QStringList{"list", "extra"},
                                    QStringList{"drives", "--bogus"}}) {
        auto r = runCli(args);
        EXPECT_NE(r.status, 0) << args.join(' ').toStdString();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.startsWith("discwright-cli: ")) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(box.discCache()));
}

TEST(CliDisc, OddDiscsListEveryTrackByItsNumber)
{
    dwtest::Sandbox box;
    // An Enhanced CD (audio, then data) and a mixed-mode CD (data first).
    const QString enhanced = dwtest::makeCdImage(box.path(), {3, 4}, dwtest::CdImageOptions().named("enh").withDataTrack("5"));
    const QString mixed = dwtest::makeCdImage(box.path(), {3}, dwtest::CdImageOptions().named("mix").withDataTrack("5", true));
    for (const auto& [image, data] : {std::pair{enhanced, 3}, std::pair{mixed, 1}}) {
        const auto r = runCli({"list", "--device", image, "--json"});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        const QJsonArray tracks = QJsonDocument::fromJson(r.out.toUtf8()).object()["tracks"].toArray();
        ASSERT_EQ(tracks.size(), image == enhanced ? 3 : 2);
        for (const QJsonValue& t : tracks)
            EXPECT_EQ(t.toObject()["data"].toBool(), t.toObject()["no"].toInt() == data) << image.toStdString();
    }
    const auto text = runCli({"list", "--device", mixed});
    ASSERT_EQ(text.status, 0) << text.err.toStdString();
    EXPECT_TRUE(text.out.contains(QRegularExpression("\n1 +Track01 +00:05 +00\\.84  \\(data track\\)\n")))
        << text.out.toStdString();

    // A disc numbered from 3: the list shows 3 to 5, and title addresses them.
    const QString late = dwtest::makeCdImage(box.path(), {3, 4, 5}, dwtest::CdImageOptions().named("late").numberedFrom(3));
    auto r = runCli({"title", "--device", late, "4", "Middle"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "4  Middle\n");
    expectOneErrorLine(runCli({"title", "--device", late, "1", "x"}), "no track 1 on this disc (it has tracks 3 to 5)");
    r = runCli({"list", "--device", late, "--json"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QJsonArray tracks = QJsonDocument::fromJson(r.out.toUtf8()).object()["tracks"].toArray();
    ASSERT_EQ(tracks.size(), 3);
    EXPECT_EQ(tracks[0].toObject()["no"].toInt(), 3);
    EXPECT_EQ(tracks[0].toObject()["title"].toString(), "Track03");
    EXPECT_EQ(tracks[1].toObject()["title"].toString(), "Middle");
    EXPECT_EQ(tracks[2].toObject()["length"].toString(), "00:05");
}

TEST(CliDisc, StatusTextsFollowTheLanguage)
{
    dwtest::Sandbox box;
    const QString data = dwtest::makeCdImageFrom(box.path(), {}, dwtest::CdImageOptions().named("data").withDataTrack("4"));
    box.write(box.configHome() + "/Quobel/Discwright/options.ini", "[Options]\nLan=German\n");
    box.write("program/CLan_German.ini", "[ResourceString]\nRES_Check_CDRom=Keine Audio-CD gefunden.\n");
    expectOneErrorLine(runCli({"list", "--device", data}), "Keine Audio-CD gefunden.");
}

TEST(CdImageTool, RefusesBadArgumentsWithOneLine)
{
    dwtest::Sandbox box;
    for (const QStringList& args : {QStringList{box.file("a.cue")},
                                    QStringList{box.file("a.wav"), "--track", "3"},
                                    QStringList{box.file("a.cue"), "--track", "1:60"},
                                    QStringList{box.file("a.cue"), "--track", "0:00"},
                                    QStringList{box.file("a.cue"), "--track", "1:00:75"},
                                    QStringList{box.file("a.cue"), "--track", "100:00"},
                                    QStringList{box.file("a.cue"), "--track"},
                                    QStringList{box.file("a.cue"), "--track", "3", "--data-first"},
                                    QStringList{box.file("no/such/dir/a.cue"), "--track", "3"}}) {
        QByteArray err;
        EXPECT_NE(dwtest::runCdImageTool(args, &err), 0) << args.join(' ').toStdString();
        EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
        EXPECT_TRUE(err.startsWith("dw-cdimage: ")) << err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(box.file("a.cue")));
    EXPECT_FALSE(QFile::exists(box.file("a.bin")));

    QStringList many{box.file("many.cue")};
    for (int i = 0; i < 100; ++i)
        many << "--track" << "4";
    EXPECT_NE(dwtest::runCdImageTool(many), 0);
    many.resize(1 + 2 * 99);
    EXPECT_EQ(dwtest::runCdImageTool(many), 0);
    EXPECT_EQ(QFileInfo(box.file("many.bin")).size(), 99LL * 4 * 75 * 2352);
}
