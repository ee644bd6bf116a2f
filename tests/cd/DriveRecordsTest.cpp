#include <gtest/gtest.h>

#include "cd/DriveRecords.h"

using namespace dw;

namespace {

DiscLayout layoutOf(std::vector<int32_t> starts, std::vector<bool> audio = {})
{
    DiscLayout l;
    l.firstTrack = 1;
    l.starts = std::move(starts);
    l.audio = audio.empty() ? std::vector<bool>(l.starts.size() - 1, true) : std::move(audio);
    return l;
}

const uint8_t* tocEntry(const TocRecord& r, int i) { return r.data() + 4 + i * 8; }

}  // namespace

TEST(DriveRecords, DriveListLayoutAndBoundedNames)
{
    CdList list;
    list.capacity = 8;
    list.entries.push_back({0, 0, 0, "Image   ", "a-very-long-product-name"});
    list.entries.push_back({1, 2, 3, "VENDORTOOLONG", "Drive"});
    CdListRecord rec;
    rec.fill(0xEE);
    EncodeCdList(list, rec);

    EXPECT_EQ(rec[0], 8);
    EXPECT_EQ(rec[1], 2);
    const uint8_t* e1 = rec.data() + 2 + 121;
    EXPECT_EQ(e1[0], 1);
    EXPECT_EQ(e1[1], 2);
    EXPECT_EQ(e1[2], 3);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(e1 + 69), 9), QByteArray("VENDORTO\0", 9));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(e1 + 78), 6), QByteArray("Drive\0", 6));
    const uint8_t* e0 = rec.data() + 2;
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(e0 + 78), 17), QByteArray("a-very-long-prod\0", 17));
    // Everything else is zero-filled, including the unused entries.
    EXPECT_EQ(rec[2 + 121 * 2], 0);
    EXPECT_EQ(rec[CdListSize - 1], 0);

    const CdList back = DecodeCdList(rec);
    ASSERT_EQ(back.entries.size(), 2u);
    EXPECT_EQ(back.entries[0].vendor, "Image   ");
    EXPECT_EQ(back.entries[0].product, "a-very-long-prod");
    EXPECT_EQ(back.entries[1].vendor, "VENDORTO");

    // A record whose count exceeds capacity or 8, and whose names lack their
    // NUL, is read only within its bounds.
    CdListRecord bad;
    bad.fill('X');
    bad[0] = 3;
    bad[1] = 200;
    const CdList clipped = DecodeCdList(bad);
    ASSERT_EQ(clipped.entries.size(), 3u);
    EXPECT_EQ(clipped.entries[2].vendor, QString(9, 'X'));
    EXPECT_EQ(clipped.entries[2].product, QString(17, 'X'));
    bad[0] = 255;
    EXPECT_EQ(DecodeCdList(bad).entries.size(), 8u);
}

TEST(DriveRecords, OpenRequestAndReadBufferHeader)
{
    OpenRequestRecord req;
    EncodeOpenRequest({1, 2, 3, 0, 0x01020304}, req);
    EXPECT_EQ(req, (OpenRequestRecord{12, 1, 1, 2, 3, 0, 0x04, 0x03, 0x02, 0x01, 0, 0}));
    auto decoded = DecodeOpenRequest(req);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->target, 2);
    EXPECT_EQ(decoded->flags, 0x01020304u);
    req[0] = 11;
    EXPECT_FALSE(DecodeOpenRequest(req));

    std::vector<uint8_t> buf(24 + 2352);
    EncodeReadBufferHeader({0x11223344, 1, 2352, 7, 1, 0}, buf);
    EXPECT_EQ(buf[0], 0x44);
    EXPECT_EQ(buf[3], 0x11);
    EXPECT_EQ(buf[4], 1);
    EXPECT_EQ(buf[8], 0x30);  // 2352 = 0x0930
    EXPECT_EQ(buf[9], 0x09);
    auto h = DecodeReadBufferHeader(buf);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->startSector, 0x11223344u);
    EXPECT_EQ(h->bytesReturned, 7u);
    EXPECT_FALSE(DecodeReadBufferHeader(std::span<const uint8_t>(buf.data(), 23)));
}

TEST(DriveRecords, TocInMinuteSecondFrameAndSectorForm)
{
    // Audio tracks at 0 and 13500, a data track at 16885, lead-out at 17635.
    const DiscLayout disc = layoutOf({0, 13500, 16885, 17635}, {true, true, false});
    TocRecord msf;
    ASSERT_TRUE(EncodeToc(disc, true, msf));
    EXPECT_EQ(msf[0] | msf[1] << 8, 2 + 8 * 4);
    EXPECT_EQ(msf[2], 1);
    EXPECT_EQ(msf[3], 3);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(tocEntry(msf, 0)), 8), QByteArray("\0\x10\x01\0\0\0\x02\0", 8));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(tocEntry(msf, 1)), 8), QByteArray("\0\x10\x02\0\0\x03\x02\0", 8));
    // 16885 + 150 = 17035 frames = 3:47:10
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(tocEntry(msf, 2)), 8), QByteArray("\0\x14\x03\0\0\x03\x2f\x0a", 8));
    EXPECT_EQ(tocEntry(msf, 3)[2], 0xAA);
    EXPECT_EQ(tocEntry(msf, 4)[2], 0);  // nothing after the lead-out

    auto toc = DecodeToc(msf);
    ASSERT_TRUE(toc);
    EXPECT_EQ(toc->trackCount(), 3);
    ASSERT_EQ(toc->entries.size(), 4u);
    EXPECT_TRUE(toc->entries[2].isData());
    EXPECT_EQ(toc->entries[3].minute(), (17635 + 150) / 4500);

    TocRecord lba;
    ASSERT_TRUE(EncodeToc(disc, false, lba));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(tocEntry(lba, 1) + 4), 4), QByteArray("\0\0\x34\xbc", 4));
}

TEST(DriveRecords, TocRefusesMoreThan99TracksAndBackwardAddresses)
{
    std::vector<int32_t> starts;
    for (int i = 0; i <= 100; ++i)
        starts.push_back(i * 300);
    TocRecord rec;
    rec.fill(0x55);
    QString why;
    EXPECT_FALSE(EncodeToc(layoutOf(starts), true, rec, &why));
    EXPECT_TRUE(why.contains("99")) << why.toStdString();
    EXPECT_EQ(rec[2], 0);  // nothing half-written

    starts.resize(100);  // 99 tracks + lead-out fit exactly
    ASSERT_TRUE(EncodeToc(layoutOf(starts), true, rec));
    auto full = DecodeToc(rec);
    ASSERT_TRUE(full);
    EXPECT_EQ(full->entries.size(), 100u);

    EXPECT_FALSE(EncodeToc(layoutOf({0, 5000, 4000, 9000}), true, rec, &why));
    EXPECT_TRUE(why.contains("out of order"));
    EXPECT_FALSE(EncodeToc(layoutOf({0, 0, 9000}), true, rec));
    EXPECT_FALSE(EncodeToc(DiscLayout{}, true, rec));

    // Decoding refuses records that would send the reader past its entries or
    // describe impossible addresses.
    ASSERT_TRUE(EncodeToc(layoutOf({0, 13500, 16885}), true, rec));
    TocRecord bad = rec;
    bad[3] = 100;
    EXPECT_FALSE(DecodeToc(bad));
    bad = rec;
    bad[2] = 3;  // first after last
    EXPECT_FALSE(DecodeToc(bad));
    bad = rec;
    bad[2] = 0;
    EXPECT_FALSE(DecodeToc(bad));
    bad = rec;
    bad[4 + 8 + 5] = 0;  // track 2 now starts before track 1
    bad[4 + 8 + 6] = 1;
    EXPECT_FALSE(DecodeToc(bad, &why));
    EXPECT_TRUE(why.contains("out of order"));
    bad = rec;
    bad[4 + 6] = 60;  // second 60
    EXPECT_FALSE(DecodeToc(bad));
}
