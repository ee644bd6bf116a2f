// The Ogg player window's engine and `discwright-cli play` play through one
// chain: the same file at the same balance gives the device the same
// samples, and a file the window does not take leaves the chain alone.
#include "player/OggPlayer.h"

#include "player/PlayerTestUtil.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace dwtest;

TEST(OggPlayer, PlaysWhatTheCommandLinePlaysAtTheSameBalance)
{
    Sandbox box;
    const QString ogg = box.file("tone.ogg");
    ASSERT_TRUE(makeToneOgg(ogg, 1.0));
    box.write("not.ogg", "no ogg here");
    ASSERT_TRUE(writeWav(box.file("counter.wav"), counterFrames(20000)));

    std::vector<int16_t> window;
    {
        DiskAudio disk(box.file("window.raw"));
        dw::TOggPlayer player;
        player.SetBalancePosition(2);  // 0.2, what --balance -60 gives
        EXPECT_FALSE(player.OpenAndPlay(box.file("counter.wav"))) << "the window plays Ogg Vorbis files only";
        EXPECT_FALSE(player.OpenAndPlay(box.file("not.ogg")));
        EXPECT_EQ(player.VorbisIn1(), nullptr);
        ASSERT_TRUE(player.OpenAndPlay(ogg));
        EXPECT_EQ(player.FileTitle(), "tone");
        EXPECT_EQ(player.SampleRateText(), "44100 bps");
        ASSERT_TRUE(waitFor([&] { return player.Status() == 2; }, std::chrono::seconds(20)));
        // Another file that is refused does not take the played one's place.
        EXPECT_FALSE(player.OpenAndPlay(box.file("not.ogg")));
        EXPECT_EQ(player.FileTitle(), "tone");
    }
    window = trimSilence(samplesOf(readAll(box.file("window.raw"))));

    DiskAudio disk(box.file("cli.raw"));
    const CliResult r = runCli({"play", ogg, "--balance", "-60", "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const std::vector<int16_t> cli = trimSilence(samplesOf(readAll(box.file("cli.raw"))));
    ASSERT_GT(cli.size(), 40000u);
    EXPECT_TRUE(window == cli) << window.size() << " samples from the window's engine, " << cli.size() << " from play";
    // The balance acted: the right channel is quieter than the decoded file's.
    const std::vector<int16_t> plain = trimSilence(samplesOf(oggdecPcm(ogg)));
    ASSERT_EQ(plain.size(), cli.size());
    long long right = 0, plainRight = 0;
    for (size_t i = 1; i < cli.size(); i += 2) {
        right += std::abs(cli[i]);
        plainRight += std::abs(plain[i]);
    }
    EXPECT_LT(right, plainRight * 3 / 4);
}

}  // namespace
