#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/IniFile.h"
#include "support/CdImages.h"
#include "support/TestSupport.h"

using dwtest::runCli;

namespace {

// Runs every command line with `workers` CLI processes at a time; gives the
// failures as "args: status stderr" texts.
QStringList runAllAtOnce(const std::vector<QStringList>& commands, int workers)
{
    std::atomic<size_t> next{0};
    std::vector<QStringList> failures{size_t(workers)};
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w)
        threads.emplace_back([&, w] {
            for (size_t i; (i = next++) < commands.size();) {
                const dwtest::CliResult r = runCli(commands[i]);
                if (r.status != 0)
                    failures[size_t(w)] << commands[i].join(' ') + ": " + QString::number(r.status) + " " + r.err;
            }
        });
    for (std::thread& t : threads)
        t.join();
    QStringList all;
    for (const QStringList& f : failures)
        all << f;
    return all;
}

QStringList titlesOf(const QString& image)
{
    const dwtest::CliResult r = runCli({"list", "--device", image, "--json"});
    QStringList titles;
    for (const QJsonValue& t : QJsonDocument::fromJson(r.out.toUtf8()).object()["tracks"].toArray())
        titles << t.toObject()["title"].toString();
    return titles;
}

}  // namespace

TEST(CliConcurrency, ParallelTitleAndConfigRunsLoseNoUpdate)
{
    dwtest::Sandbox box;
    constexpr int Tracks = 20;
    const QString discA = dwtest::makeCdImage(box.path(), std::vector<int>(Tracks, 1),
                                              dwtest::CdImageOptions().named("a").silent());
    const QString discB = dwtest::makeCdImage(box.path(), std::vector<int>(Tracks, 2),
                                              dwtest::CdImageOptions().named("b").silent());
    // Another disc's section and a hand-written comment that must survive,
    // and a cache an earlier version left in the program folder, which every
    // process may find not yet carried over.
    box.write(box.discCache(), "; kept\n[999]\nArtist=Someone\nTrackNumber=1\n1=Old\n");
    const QByteArray old = "[998]\nTrackNumber=1\n1=From the program folder\n";
    box.write("program/cdinfo.dat", old);

    const QStringList settings{
        "CommonOptions.OutputFormat=3", "CommonOptions.IsKeepWav=1",    "CommonOptions.IsNormalize=1",
        "CommonOptions.NormalizePercent=50", "CommonOptions.EnableRipTime=1", "CommonOptions.RipTime=77",
        "Mp3Options.IsSelectVBR=1",      "Mp3Options.IsVBRHead=1",      "Mp3Options.BitRate=192",
        "Mp3Options.MaxBitRate=256",     "Mp3Options.MpegQuality=2",    "Mp3Options.VBRQuality=7",
        "Mp3Options.StereoMode=4",       "OggOptions.IsUseCompress=0",  "OggOptions.CompressPosition=88",
        "OggOptions.MaxBitRate=5",       "OggOptions.NomalBitRate=6",   "OggOptions.MinBitRate=7",
        "WMAOptions.BitRate=20",         "CDOptions.Index=3"};
    // Interleaved: titles of both discs, on the same disc and on different
    // discs, and changes of different settings, all at once.
    std::vector<QStringList> commands;
    for (int k = 1; k <= Tracks; ++k) {
        commands.push_back({"title", "--device", discA, QString::number(k), QString("A title %1").arg(k)});
        commands.push_back({"title", "--device", discB, QString::number(k), QString("B title %1").arg(k)});
        commands.push_back({"config", settings[k - 1]});
    }
    const QStringList failures = runAllAtOnce(commands, 12);
    EXPECT_TRUE(failures.isEmpty()) << failures.join('\n').toStdString();

    const QStringList a = titlesOf(discA), b = titlesOf(discB);
    ASSERT_EQ(a.size(), Tracks);
    ASSERT_EQ(b.size(), Tracks);
    for (int k = 1; k <= Tracks; ++k) {
        EXPECT_EQ(a[k - 1], QString("A title %1").arg(k));
        EXPECT_EQ(b[k - 1], QString("B title %1").arg(k));
    }
    const dw::IniFile cache(box.discCache());
    EXPECT_EQ(cache.sections().size(), 5);  // 999, 998, the two discs and the carry-over note
    EXPECT_EQ(cache.readString("999", "1", ""), "Old");
    EXPECT_EQ(cache.readString("998", "1", ""), "From the program folder");
    EXPECT_TRUE(box.read(box.discCache()).startsWith("; kept\n[999]\nArtist=Someone\n"));
    EXPECT_TRUE(box.read("program/cdinfo.dat") == old);

    const dw::IniFile options(box.configHome() + "/Quobel/Discwright/options.ini");
    for (const QString& s : settings) {
        const QString section = s.section('.', 0, 0), key = s.section('.', 1).section('=', 0, 0);
        EXPECT_EQ(options.readString(section, key, ""), s.section('=', 1)) << s.toStdString();
    }
    // Every write went through a temporary file that was renamed into place.
    for (const QString& dir : {box.dataHome() + "/Quobel/Discwright", box.configHome() + "/Quobel/Discwright"})
        EXPECT_TRUE(QDir(dir).entryList({"*.part"}, QDir::Files | QDir::Hidden).isEmpty()) << dir.toStdString();
}
