// The ripper library over CD images: drive list, table of contents, ranges
// read bit for bit in every reading mode, and the failures it must report.

#include "cd/RipperLibrary.h"
#include "platform/CdDrives.h"
#include "platform/IniFile.h"
#include "support/TestSupport.h"

#include "RipTestDisc.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace dw;

namespace {

class RipperLibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        disc = riptest::MakeTestDisc(sandbox.path(), "disc", {150, 77, 40}, {});
        useDevices({disc.cue});
    }
    void TearDown() override
    {
        CR_CloseRipper();
        SetExplicitCdDevices({});
        CR_DeInit();
    }
    void useDevices(const QStringList& devices)
    {
        SetExplicitCdDevices(devices);
        ASSERT_EQ(CR_Init(1), 0);
        CR_SetActiveCDROM(0);
    }
    // Reads [start, end) with the given parameters in chunks of chunkSectors.
    QByteArray ripRange(const TRipperDriveParams& params, int start, int end, int chunkSectors = 75,
                        int* failures = nullptr)
    {
        TRipperDriveParams* p = CR_GetStructPointer();
        CR_GetCDROMParameters(p);
        const std::string id = p->DriveId;
        *p = params;
        CR_SetCDROMParameters(p);
        int32_t size = chunkSectors * riptest::SectorBytes;
        EXPECT_EQ(CR_OpenRipper(size, start, end), 0);
        std::vector<uint8_t> buffer(static_cast<size_t>(size), 0);
        QByteArray all;
        for (int guard = 0; guard < 100000; ++guard) {
            int32_t bytes = -1;
            const int r = CR_RipChunk(buffer.data(), bytes, false);
            if (r != 0 && failures)
                ++*failures;
            EXPECT_GE(bytes, 0);
            EXPECT_LE(bytes, size);
            if (bytes <= 0)
                break;
            all.append(reinterpret_cast<const char*>(buffer.data()), bytes);
        }
        CR_CloseRipper();
        return all;
    }

    dwtest::Sandbox sandbox;
    riptest::TestDisc disc;
};

TEST_F(RipperLibraryTest, ListsDrivesAndReadsTheTableOfContents)
{
    EXPECT_EQ(CR_GetNumCDROM(), 1);
    EXPECT_EQ(RipperDriveList(), QStringList{disc.cue});
    int32_t status = -1;
    EXPECT_EQ(CR_IsMediaLoaded(status), 0);
    EXPECT_EQ(status, 0);

    ASSERT_EQ(CR_ReadToc(), 0);
    ASSERT_EQ(CR_GetNumTocEntries(), 3);
    for (int i = 0; i <= 3; ++i) {
        const TRipperTocEntry e = CR_GetTocEntry(i);
        EXPECT_EQ(e.StartSector, disc.starts[size_t(i)]) << "entry " << i;
        EXPECT_EQ(e.Flags, 0) << "entry " << i;
    }
    EXPECT_EQ(CR_GetTocEntry(0).TrackNumber, 1);
    EXPECT_EQ(CR_GetTocEntry(2).TrackNumber, 3);
    // Outside the table: an empty entry, never a read past it.
    EXPECT_EQ(CR_GetTocEntry(4).StartSector, 0);
    EXPECT_EQ(CR_GetTocEntry(-1).TrackNumber, 0);

    // The drive name and the parameter block belong to the active drive.
    TRipperDriveParams* p = CR_GetStructPointer();
    ASSERT_EQ(CR_GetCDROMParameters(p), 0);
    EXPECT_NE(std::string(CR_GetDriveID(p)), "");
    CR_SetParanoiaMode(p, 2);
    CR_SetMultiReadCount(p, 3);
    CR_SetJitterCorrection(p, false);
    ASSERT_EQ(CR_SetCDROMParameters(p), 0);
    TRipperDriveParams again;
    CR_GetCDROMParameters(&again);
    EXPECT_EQ(again.ParanoiaMode, 2);
    EXPECT_EQ(again.MultiReadCount, 3);
    EXPECT_EQ(CR_GetJitterCorrection(&again), 0);
}

TEST_F(RipperLibraryTest, DataTracksAreFlaggedAndASecondDriveIsAddressedOnlyWhenActive)
{
    const riptest::TestDisc mixed = riptest::MakeTestDisc(sandbox.path(), "mixed", {100, 60}, {2}, 777);
    useDevices({disc.cue, mixed.cue});
    EXPECT_EQ(CR_GetNumCDROM(), 2);
    ASSERT_EQ(CR_ReadToc(), 0);
    EXPECT_EQ(CR_GetNumTocEntries(), 3);
    CR_SetActiveCDROM(1);
    EXPECT_EQ(CR_GetActiveCDROM(), 1);
    ASSERT_EQ(CR_ReadToc(), 0);
    ASSERT_EQ(CR_GetNumTocEntries(), 2);
    EXPECT_EQ(CR_GetTocEntry(0).Flags, 0);
    EXPECT_EQ(CR_GetTocEntry(1).Flags, RipperDataTrackFlag);
    // An index outside the list keeps the active drive.
    CR_SetActiveCDROM(2);
    EXPECT_EQ(CR_GetActiveCDROM(), 1);
    CR_SetActiveCDROM(-1);
    EXPECT_EQ(CR_GetActiveCDROM(), 1);
}

TEST_F(RipperLibraryTest, RangesReadBitIdenticalInEveryReadingMode)
{
    ASSERT_EQ(CR_ReadToc(), 0);
    const QByteArray expected = disc.bin_bytes.mid(10 * riptest::SectorBytes, 200 * riptest::SectorBytes);

    TRipperDriveParams direct;
    direct.JitterCorrection = false;
    EXPECT_TRUE(ripRange(direct, 10, 210) == expected) << "direct reads";

    TRipperDriveParams smallPieces = direct;
    smallPieces.ReadSectors = 7;
    EXPECT_TRUE(ripRange(smallPieces, 10, 210, 13) == expected) << "7-sector reads, 13-sector chunks";

    TRipperDriveParams multi = direct;
    multi.EnableMultiRead = true;
    multi.MultiReadCount = 2;
    EXPECT_TRUE(ripRange(multi, 10, 210) == expected) << "multi-read";

    for (int mode : {0, 1, 2, 3}) {
        TRipperDriveParams paranoia;
        paranoia.JitterCorrection = true;
        paranoia.ParanoiaMode = mode;
        paranoia.Paranoid = mode == 0;
        paranoia.OverlapSectors = mode == 1 ? 4 : 0;
        EXPECT_TRUE(ripRange(paranoia, 10, 210) == expected) << "paranoia mode " << mode;
    }

    // The whole disc, through to the lead-out.
    EXPECT_TRUE(ripRange(TRipperDriveParams{}, 0, disc.starts.back()) == disc.bin_bytes);
}

TEST_F(RipperLibraryTest, BufferSizeIsWholeSectorsAndTheRangeEndsWithZeroBytes)
{
    ASSERT_EQ(CR_ReadToc(), 0);
    int32_t size = 176400 + 1000;
    ASSERT_EQ(CR_OpenRipper(size, 0, 100), 0);
    EXPECT_EQ(size, 75 * riptest::SectorBytes);
    std::vector<uint8_t> buffer(static_cast<size_t>(size), 0);
    int32_t bytes = 0;
    EXPECT_EQ(CR_RipChunk(buffer.data(), bytes, false), 0);
    EXPECT_EQ(bytes, 75 * riptest::SectorBytes);
    EXPECT_EQ(CR_RipChunk(buffer.data(), bytes, false), 0);
    EXPECT_EQ(bytes, 25 * riptest::SectorBytes);
    EXPECT_EQ(CR_RipChunk(buffer.data(), bytes, false), 0);
    EXPECT_EQ(bytes, 0);
    // Abort ends the range.
    size = 176400;
    ASSERT_EQ(CR_OpenRipper(size, 0, 100), 0);
    CR_RipChunk(buffer.data(), bytes, true);
    EXPECT_EQ(bytes, 0);
    CR_RipChunk(buffer.data(), bytes, false);
    EXPECT_EQ(bytes, 0);
    CR_CloseRipper();

    // Refused: a buffer below one sector, a reversed range; no range open.
    size = 100;
    EXPECT_NE(CR_OpenRipper(size, 0, 10), 0);
    size = 176400;
    EXPECT_NE(CR_OpenRipper(size, 50, 10), 0);
    EXPECT_NE(CR_RipChunk(buffer.data(), bytes, false), 0);
    EXPECT_EQ(bytes, 0);

    // A range past the lead-out stops at the lead-out.
    TRipperDriveParams direct;
    direct.JitterCorrection = false;
    EXPECT_TRUE(ripRange(direct, 250, 400) == disc.bin_bytes.mid(250 * riptest::SectorBytes));
}

TEST_F(RipperLibraryTest, ShortImagesAndVanishedImagesGiveZeroBytesAndNoDisc)
{
    // A .bin cut inside track 1 while the sheet still places tracks 2 and 3.
    ASSERT_TRUE(QFile::resize(disc.bin, qint64(100) * riptest::SectorBytes));
    useDevices({disc.cue});
    // The sheet still names three tracks; whether the table shows them or
    // refuses the layout, the range must end early with a failure.
    CR_ReadToc();
    {
        for (bool jitter : {false, true}) {
            TRipperDriveParams params;
            params.JitterCorrection = jitter;
            int failures = 0;
            const QByteArray got = ripRange(params, 0, 150, 75, &failures);
            EXPECT_LT(got.size(), 150 * riptest::SectorBytes) << "jitter " << jitter;
            EXPECT_TRUE(got == disc.bin_bytes.left(got.size())) << "jitter " << jitter;
            EXPECT_EQ(failures, 1) << "jitter " << jitter;
        }
    }

    // The image goes away: no disc, no table, no range.
    ASSERT_TRUE(QFile::remove(disc.cue));
    int32_t status = 0;
    CR_IsMediaLoaded(status);
    EXPECT_NE(status, 0);
    EXPECT_NE(CR_ReadToc(), 0);
    EXPECT_EQ(CR_GetNumTocEntries(), 0);
    int32_t size = 176400;
    EXPECT_NE(CR_OpenRipper(size, 0, 10), 0);
}

TEST(RipperIni, CdrIniHoldsTheActiveDriveAndNoWindowsTransport)
{
    dwtest::Sandbox sandbox;
    sandbox.write("config/cdr.ini", "[Other]\nKeep=1\n[CD-ROM]\nnActive=3\n");
    EXPECT_EQ(RipperIniFolder(), sandbox.configHome() + "/");
    ASSERT_TRUE(WriteCdrIni(RipperIniFolder()));
    IniFile ini(sandbox.configHome() + "/cdr.ini");
    EXPECT_EQ(ini.readString("CD-ROM", "nActive", "x"), "0");
    EXPECT_FALSE(ini.hasKey("CD-ROM", "nTransportLayer"));
    EXPECT_EQ(ini.readString("Other", "Keep", ""), "1");
    // A missing folder is created.
    ASSERT_TRUE(WriteCdrIni(sandbox.file("new/folder")));
    EXPECT_TRUE(QFile::exists(sandbox.file("new/folder/cdr.ini")));
}

}  // namespace
