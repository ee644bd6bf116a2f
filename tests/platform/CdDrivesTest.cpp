#include <gtest/gtest.h>

#include <QFile>

#include "platform/CdDrives.h"
#include "support/CdImages.h"
#include "support/TestSupport.h"

using namespace dw;

namespace {

// Drives present on the machine itself, which come before any image.
std::size_t physicalDriveCount()
{
    SetExplicitCdDevices({});
    QByteArray old = qgetenv("DISCWRIGHT_CD_IMAGES");
    qunsetenv("DISCWRIGHT_CD_IMAGES");
    const std::size_t n = ListCdDrives().size();
    if (!old.isEmpty())
        qputenv("DISCWRIGHT_CD_IMAGES", old);
    return n;
}

struct ExplicitDevices {
    explicit ExplicitDevices(const QStringList& paths) { SetExplicitCdDevices(paths); }
    ~ExplicitDevices() { SetExplicitCdDevices({}); }
};

DiscLayout layoutOf(std::vector<int32_t> starts, int first = 1)
{
    DiscLayout l;
    l.firstTrack = first;
    l.starts = std::move(starts);
    l.audio.assign(l.starts.size() - 1, true);
    return l;
}

}  // namespace

TEST(AudioCdSerial, SumsStartAddressesWithShortDiscCorrections)
{
    // Three tracks at 00:02:00, 03:02:00, 04:02:37 (lead-in included): only the sum.
    EXPECT_EQ(AudioCdSerial(layoutOf({0, 13500, 18037, 30000})),
              (0 << 16 | 2 << 8 | 0) + (3 << 16 | 2 << 8 | 0) + (4 << 16 | 2 << 8 | 37));
    // Two tracks: plus the disc length in frames plus the frame part of track 1.
    EXPECT_EQ(AudioCdSerial(layoutOf({33, 13500, 16885})),
              (0 << 16 | 2 << 8 | 33) + (3 << 16 | 2 << 8 | 0) + (16885 - 33) + 33);
    // One track: plus the disc length only.
    EXPECT_EQ(AudioCdSerial(layoutOf({0, 4500})), (0 << 16 | 2 << 8 | 0) + 4500);
    EXPECT_EQ(AudioCdSerial(DiscLayout{}), 0);
}

TEST(CdDrives, ImagesFollowPhysicalDrivesAndUnreadableImagesAreNoDrives)
{
    dwtest::Sandbox box;
    const std::size_t physical = physicalDriveCount();
    const QString a = dwtest::makeCdImage(box.path(), {5, 6}, dwtest::CdImageOptions().named("alpha"));
    const QString b = dwtest::makeCdImage(box.path(), {7}, dwtest::CdImageOptions().named("beta"));
    box.write("broken.cue", "this is not a cue sheet\n");
    qputenv("DISCWRIGHT_CD_IMAGES", (a + ":" + box.file("missing.cue") + ":" + box.file("broken.cue") + "::" + b).toUtf8());

    const std::vector<CdDrive> drives = ListCdDrives();
    ASSERT_EQ(drives.size(), physical + 2);
    EXPECT_EQ(drives[physical].path, a);
    EXPECT_TRUE(drives[physical].isImage);
    EXPECT_EQ(drives[physical].vendor, "Image");
    EXPECT_EQ(drives[physical].product, "alpha");
    EXPECT_EQ(drives[physical + 1].path, b);

    // An explicit device replaces the whole list.
    ExplicitDevices only({b});
    const std::vector<CdDrive> one = ListCdDrives();
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].path, b);
}

TEST(CdDrives, AudioCdMeansAtLeastOneAudioTrack)
{
    dwtest::Sandbox box;
    const QString audio = dwtest::makeCdImage(box.path(), {4, 5, 6}, dwtest::CdImageOptions().named("audio"));
    const QString enhanced = dwtest::makeCdImage(box.path(), {4}, dwtest::CdImageOptions().named("enhanced").withDataTrack("3"));
    const QString mixed = dwtest::makeCdImage(box.path(), {4}, dwtest::CdImageOptions().named("mixed").withDataTrack("3", true));
    const QString data = dwtest::makeCdImageFrom(box.path(), {}, dwtest::CdImageOptions().named("data").withDataTrack("3"));

    auto layout = ReadDiscLayout(audio);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->firstTrack, 1);
    EXPECT_EQ(layout->starts, (std::vector<int32_t>{0, 300, 675, 1125}));
    EXPECT_TRUE(IsAudioCdDrive(audio));
    // Enhanced and mixed-mode CDs are audio CDs with a data track.
    layout = ReadDiscLayout(mixed);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->audio, (std::vector<bool>{false, true}));
    EXPECT_TRUE(IsAudioCdDrive(enhanced));
    EXPECT_TRUE(IsAudioCdDrive(mixed));
    EXPECT_FALSE(IsAudioCdDrive(data));
    EXPECT_FALSE(IsAudioCdDrive(box.file("missing.cue")));
    EXPECT_FALSE(ReadDiscLayout(box.file("missing.cue")));
}

TEST(CdDrives, AnImageThatCannotBeOpenedSaysWhy)
{
    dwtest::Sandbox box;
    const QString good = dwtest::makeCdImage(box.path(), {3}, dwtest::CdImageOptions().named("good"));
    EXPECT_EQ(CdDeviceProblem(good), "");
    EXPECT_EQ(CdDeviceProblem(dwtest::binPathOf(good)), "");
    EXPECT_EQ(CdDeviceProblem(box.file("none.cue")), box.file("none.cue") + ": No such file or directory");

    const QString orphan = dwtest::makeCdImage(box.path(), {3}, dwtest::CdImageOptions().named("orphan"));
    QFile::remove(dwtest::binPathOf(orphan));
    EXPECT_EQ(CdDeviceProblem(orphan),
              orphan + ": line 1: " + box.file("orphan.bin") + ": No such file or directory");

    box.write("good2.bin", QByteArray(2352 * 300, '\0'));
    box.write("typo.cue", "FILE \"good2.bin\" BINARY\n  TRACK 01 AUDIO\n    INDX 01 00:00:00\n");
    EXPECT_EQ(CdDeviceProblem(box.file("typo.cue")),
              box.file("typo.cue") + ": line 3: cannot read \"INDX 01 00:00:00\"");
    box.write("cdg.cue", "FILE \"good2.bin\" BINARY\n  TRACK 01 CDG\n    INDEX 01 00:00:00\n");
    EXPECT_EQ(CdDeviceProblem(box.file("cdg.cue")), box.file("cdg.cue") + ": line 2: track type CDG is not supported");
    box.write("song.mp3", "ID3");
    EXPECT_EQ(CdDeviceProblem(box.file("song.mp3")),
              box.file("song.mp3") + ": not a CD drive or a CD image (.cue/.bin, .toc, .nrg)");
}

TEST(CdDrives, DiscKeyComesFromTheFirstDriveHoldingAnAudioCd)
{
    dwtest::Sandbox box;
    if (physicalDriveCount() != 0)
        GTEST_SKIP() << "a physical drive would come first";
    const QString data = dwtest::makeCdImageFrom(box.path(), {}, dwtest::CdImageOptions().named("data").withDataTrack("3"));
    const QString audio = dwtest::makeCdImage(box.path(), {4, 5}, dwtest::CdImageOptions().named("audio"));
    const QString other = dwtest::makeCdImage(box.path(), {9, 9, 9}, dwtest::CdImageOptions().named("other"));

    EXPECT_EQ(ComputeDiscKey(), "");  // no drives at all
    EXPECT_FALSE(AudioCdPresent());

    qputenv("DISCWRIGHT_CD_IMAGES", (data + ":" + audio + ":" + other).toUtf8());
    // The first drive holds a data disc: no audio CD present, but the key is found.
    EXPECT_FALSE(AudioCdPresent());
    const int32_t expected = AudioCdSerial(*ReadDiscLayout(audio));
    EXPECT_EQ(ComputeDiscKey(), QString::number(expected));
    // 00:02:00 and 00:06:00, plus 675 frames of disc length, plus frame 0.
    EXPECT_EQ(expected, (2 << 8) + (6 << 8) + 675);

    qputenv("DISCWRIGHT_CD_IMAGES", (other + ":" + audio).toUtf8());
    EXPECT_TRUE(AudioCdPresent());
    EXPECT_EQ(ComputeDiscKey(), QString::number(AudioCdSerial(*ReadDiscLayout(other))));
    EXPECT_NE(ComputeDiscKey(), QString::number(expected));
}
