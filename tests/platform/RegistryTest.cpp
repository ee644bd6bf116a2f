// The registry file: values and keys round trip, concurrent writers under the
// lock keep each other's changes, and the players' recent-file lists are
// cleared as the main window's Clear History commands need.
#include "platform/PlayerHistory.h"
#include "platform/Registry.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace dw;

TEST(Registry, ValuesAndKeysRoundTripThroughTheFile)
{
    dwtest::Sandbox box;
    TRegistry reg(box.file("registry.ini"));
    EXPECT_FALSE(reg.KeyExists("\\Software\\A\\"));
    EXPECT_FALSE(reg.DeleteKey("Software\\A"));
    ASSERT_TRUE(reg.WriteValue("\\Software\\A\\", "File0", "/music/ä b.ogg"));
    ASSERT_TRUE(reg.WriteValue("Software\\A", "file1", "x=y"));
    EXPECT_FALSE(reg.WriteValue("Software\\A", "bad=name", "v"));
    EXPECT_FALSE(reg.WriteValue("Software\\A", "Two", "line\nbreak"));
    EXPECT_FALSE(reg.WriteValue("\\\\", "Name", "v"));

    // A second object reads what the first wrote: the file is the store.
    TRegistry other(box.file("registry.ini"));
    EXPECT_TRUE(other.KeyExists("software\\a"));
    EXPECT_EQ(other.ReadValue("Software\\A\\", "FILE0"), QString("/music/ä b.ogg"));
    EXPECT_EQ(other.ReadValue("Software\\A", "File1"), QString("x=y"));
    EXPECT_EQ(other.ValueNames("Software\\A"), QStringList({"File0", "file1"}));
    EXPECT_EQ(other.ReadValue("Software\\A", "File2"), std::nullopt);

    EXPECT_TRUE(other.DeleteValue("Software\\A", "File0"));
    EXPECT_FALSE(other.DeleteValue("Software\\A", "File0"));
    EXPECT_TRUE(reg.KeyExists("Software\\A")) << "a key outlives its values";
    EXPECT_TRUE(reg.DeleteKey("Software\\A"));
    EXPECT_FALSE(reg.KeyExists("Software\\A"));
}

// Two writers at once, each through its own object: every value of both is kept.
TEST(Registry, ConcurrentWritersKeepEachOthersValues)
{
    dwtest::Sandbox box;
    const QString file = box.file("registry.ini");
    const auto writer = [&](const QString& key) {
        TRegistry reg(file);
        for (int i = 0; i < 60; ++i)
            ASSERT_TRUE(reg.WriteValue(key, "V" + QString::number(i), QString::number(i)));
    };
    std::thread a(writer, QString("Software\\One")), b(writer, QString("Software\\Two"));
    a.join();
    b.join();
    TRegistry reg(file);
    EXPECT_EQ(reg.ValueNames("Software\\One").size(), 60);
    EXPECT_EQ(reg.ValueNames("Software\\Two").size(), 60);
    EXPECT_EQ(reg.ReadValue("Software\\Two", "V59"), QString("59"));
}

TEST(PlayerHistory, DeletesInOrderUpToTheFirstGap)
{
    dwtest::Sandbox box;
    TRegistry reg(box.file("registry.ini"));
    // Nothing there: nothing deleted, and the media player's key is not created.
    EXPECT_EQ(ClearPlayerHistory(reg, TMediaPlayer::RealPlayer), 0);
    EXPECT_EQ(ClearPlayerHistory(reg, TMediaPlayer::WindowsMediaPlayer), 0);
    EXPECT_FALSE(reg.KeyExists(MediaPlayerRecentKey));

    const QString clips = QString(RealPlayerClipsKey) + "MostRecentClips";
    for (int i : {1, 2, 3, 5})
        ASSERT_TRUE(reg.WriteValue(clips + QString::number(i), "Clip", "a.rm"));
    for (int i : {0, 1, 3})
        ASSERT_TRUE(reg.WriteValue(MediaPlayerRecentKey, "File" + QString::number(i), "a.wma"));
    ASSERT_TRUE(reg.WriteValue(MediaPlayerRecentKey, "Other", "kept"));

    EXPECT_EQ(ClearPlayerHistory(reg, TMediaPlayer::RealPlayer), 3);
    EXPECT_FALSE(reg.KeyExists(clips + "3"));
    EXPECT_TRUE(reg.KeyExists(clips + "5"));
    EXPECT_EQ(ClearPlayerHistory(reg, TMediaPlayer::WindowsMediaPlayer), 2);
    EXPECT_EQ(reg.ValueNames(MediaPlayerRecentKey), QStringList({"File3", "Other"}));
}

}  // namespace
