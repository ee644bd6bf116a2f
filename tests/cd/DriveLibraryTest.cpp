#include <gtest/gtest.h>

#include <QFile>

#include "cd/DriveLibrary.h"
#include "support/CdImages.h"
#include "support/TestSupport.h"

using namespace dw;

namespace {

// The drive library sees exactly the given images (no physical drives), and
// has listed them (handles are opened from the latest list).
struct OnlyImages {
    explicit OnlyImages(const QStringList& paths)
    {
        SetExplicitCdDevices(paths);
        CdListRecord list {};
        list[0] = 8;
        GetCDList(list);
    }
    ~OnlyImages()
    {
        SetExplicitCdDevices({});
        for (int h = 1; h <= MaxCdHandles; ++h)
            CloseCDHandle(h);
    }
};

int openDrive(int target)
{
    CdListRecord list {};
    list[0] = 8;
    GetCDList(list);
    OpenRequestRecord req;
    EncodeOpenRequest({0, uint8_t(target), 0, 0, 0}, req);
    return GetCDHandle(req);
}

std::vector<uint8_t> readBuffer(uint32_t start, uint32_t count, std::size_t extra = 0)
{
    std::vector<uint8_t> buf(ReadBufferHeaderSize + count * 2352 + extra, 0xCC);
    EncodeReadBufferHeader({start, count, count * 2352, 0, 0, 0}, buf);
    return buf;
}

QByteArray binSectors(const QString& cue, int start, int count)
{
    QFile f(dwtest::binPathOf(cue));
    if (!f.open(QIODevice::ReadOnly) || !f.seek(qint64(start) * 2352))
        return {};
    return f.read(qint64(count) * 2352);
}

}  // namespace

TEST(DriveLibrary, ListIsCutToCapacityAndEightEntries)
{
    dwtest::Sandbox box;
    const QString img = dwtest::makeCdImage(box.path(), {2}, dwtest::CdImageOptions().named("short"));
    QStringList ten;
    for (int i = 0; i < 10; ++i)
        ten << img;
    OnlyImages images(ten);

    CdListRecord list {};
    list[0] = 8;
    EXPECT_EQ(GetCDList(list), 8);
    const CdList decoded = DecodeCdList(list);
    ASSERT_EQ(decoded.entries.size(), 8u);
    EXPECT_EQ(decoded.entries[7].target, 7);
    EXPECT_EQ(decoded.entries[7].vendor + decoded.entries[7].product, "Image   short");
    EXPECT_EQ(DriveListPath(7), img);
    EXPECT_EQ(DriveListPath(8), "");

    list.fill(0);
    list[0] = 3;
    EXPECT_EQ(GetCDList(list), 3);
    EXPECT_EQ(list[1], 3);
    EXPECT_EQ(list[2 + 3 * 121 + 69], 0);  // the fourth entry stays empty
}

TEST(DriveLibrary, HandlesOpenCloseAndRunOut)
{
    dwtest::Sandbox box;
    const QString img = dwtest::makeCdImage(box.path(), {2}, dwtest::CdImageOptions().named("h"));
    OnlyImages images({img});

    OpenRequestRecord noDrive;
    EncodeOpenRequest({0, 1, 0, 0, 0}, noDrive);
    EXPECT_EQ(GetCDHandle(noDrive), 0);
    EXPECT_EQ(GetAspiLibError(), AlNoSuchDrive);
    OpenRequestRecord badSize;
    EncodeOpenRequest({0, 0, 0, 0, 0}, badSize);
    badSize[0] = 0;
    EXPECT_EQ(GetCDHandle(badSize), 0);
    EXPECT_EQ(GetAspiLibError(), AlBadRecord);

    std::vector<int> handles;
    for (int i = 0; i < MaxCdHandles; ++i)
        handles.push_back(openDrive(0));
    EXPECT_EQ(handles.front(), 1);
    EXPECT_EQ(handles.back(), MaxCdHandles);
    EXPECT_EQ(openDrive(0), 0);
    EXPECT_EQ(GetAspiLibError(), AlNoFreeHandle);
    EXPECT_FALSE(GetAspiLibErrorText().isEmpty());

    EXPECT_NE(CloseCDHandle(4), 0);
    EXPECT_EQ(GetAspiLibError(), AlNoError);
    EXPECT_EQ(CloseCDHandle(4), 0);  // already closed
    EXPECT_EQ(CloseCDHandle(0), 0);
    EXPECT_EQ(CloseCDHandle(11), 0);
    EXPECT_EQ(openDrive(0), 4);  // the freed slot is reused

    EXPECT_EQ(ModifyCDParms(4, 99, 1), 0);
    EXPECT_EQ(GetAspiLibError(), AlBadParameter);
    EXPECT_EQ(ModifyCDParms(12, CdParmMsf, 1), 0);
    TocRecord toc;
    EXPECT_EQ(ReadTOC(12, toc), 0);
    EXPECT_EQ(GetAspiLibError(), AlBadHandle);
}

TEST(DriveLibrary, TocStartsInSectorsAndSwitchesToMinuteSecondFrame)
{
    dwtest::Sandbox box;
    const QString img = dwtest::makeCdImageFrom(box.path(), {"3:00", "0:45:10"},
                                                dwtest::CdImageOptions().named("t").withDataTrack("0:10"));
    OnlyImages images({img});
    const int h = openDrive(0);
    ASSERT_NE(h, 0);

    TocRecord toc;
    ASSERT_EQ(ReadTOC(h, toc), 1);
    EXPECT_EQ(toc[2], 1);
    EXPECT_EQ(toc[3], 3);
    // Sector form first: track 2 at sector 13500, big-endian.
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(toc.data() + 12 + 4), 4), QByteArray("\0\0\x34\xbc", 4));
    EXPECT_FALSE(DecodeToc(toc));  // not minute-second-frame addresses

    ASSERT_NE(ModifyCDParms(h, CdParmMsf, 1), 0);
    ASSERT_EQ(ReadTOC(h, toc), 1);
    auto decoded = DecodeToc(toc);
    ASSERT_TRUE(decoded);
    ASSERT_EQ(decoded->entries.size(), 4u);
    EXPECT_EQ(decoded->entries[1].minute(), 3);
    EXPECT_EQ(decoded->entries[1].second(), 2);
    EXPECT_EQ(decoded->entries[2].minute(), 3);   // 3:47:10
    EXPECT_EQ(decoded->entries[2].second(), 47);
    EXPECT_EQ(decoded->entries[2].frame(), 10);
    EXPECT_TRUE(decoded->entries[2].isData());
    EXPECT_FALSE(decoded->entries[1].isData());
    EXPECT_EQ(decoded->entries[3].track, 0xAA);
    EXPECT_EQ(decoded->entries[3].second(), 57);  // lead-out 3:57:10
}

TEST(DriveLibrary, AudioSectorsReadAsTheImageHoldsThem)
{
    dwtest::Sandbox box;
    const QString img = dwtest::makeCdImage(box.path(), {2, 2}, dwtest::CdImageOptions().named("r"));
    OnlyImages images({img});
    const int h = openDrive(0);
    ASSERT_NE(h, 0);

    // Ten sectors across the boundary of the two tracks.
    std::vector<uint8_t> buf = readBuffer(145, 10);
    ASSERT_EQ(ReadCDAudioLBA(h, buf), 1);
    auto head = DecodeReadBufferHeader(buf);
    ASSERT_TRUE(head);
    EXPECT_EQ(head->bytesReturned, 10u * 2352);
    EXPECT_EQ(head->status, ReadStatusDone);
    const QByteArray got(reinterpret_cast<const char*>(buf.data()) + 24 + head->dataOffset, head->bytesReturned);
    EXPECT_EQ(got, binSectors(img, 145, 10));
    // Each track holds its own tone.
    EXPECT_NE(binSectors(img, 0, 1), binSectors(img, 150, 1));
    EXPECT_NE(binSectors(img, 0, 1), QByteArray(2352, '\0'));

    // The last sectors before the lead-out read; one more does not.
    buf = readBuffer(298, 2);
    EXPECT_EQ(ReadCDAudioLBA(h, buf), 1);
    buf = readBuffer(299, 2);
    EXPECT_EQ(ReadCDAudioLBA(h, buf), 0);
    EXPECT_EQ(GetAspiLibError(), AlReadFailed);
    EXPECT_EQ(DecodeReadBufferHeader(buf)->bytesReturned, 0u);
    buf = readBuffer(0xFFFFFFF0u, 2);
    EXPECT_EQ(ReadCDAudioLBA(h, buf), 0);

    // A header asking for more than its capacity or the buffer is refused
    // without touching the data area.
    buf = readBuffer(0, 2);
    EncodeReadBufferHeader({0, 3, 2 * 2352, 0, 0, 0}, buf);
    EXPECT_EQ(ReadCDAudioLBA(h, buf), 0);
    EXPECT_EQ(GetAspiLibError(), AlBadRecord);
    EncodeReadBufferHeader({0, 3, 3 * 2352, 0, 0, 0}, buf);
    EXPECT_EQ(ReadCDAudioLBA(h, buf), 0);
    EXPECT_EQ(buf[24], 0xCC);
    EXPECT_EQ(ReadCDAudioLBA(h, std::span<uint8_t>(buf.data(), 10)), 0);
}
