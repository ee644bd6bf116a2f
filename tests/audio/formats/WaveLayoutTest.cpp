// TWaveIn on layouts other writers produce: pad bytes after odd chunks,
// chunks of any size before the data (passed over by seeking, in a sparse
// file), RF64/BW64 headers, and stereo IMA ADPCM blocks whose code area is
// not a whole number of 8-byte groups.

#include "audio/formats/ImaAdpcm.h"
#include "audio/formats/WaveIn.h"
#include "WaveTestUtil.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using namespace dw;
using namespace dwtest;

namespace {

QByteArray le64(uint64_t v)
{
    return le32(static_cast<uint32_t>(v)) + le32(static_cast<uint32_t>(v >> 32));
}

struct Opened {
    Sandbox box;
    TWaveIn in;
    explicit Opened(const QByteArray& bytes)
    {
        writeAll(box.file("t.wav"), bytes);
        in.SetFileName(box.file("t.wav"));
    }
};

TEST(WaveLayout, PadBytesAndLargeChunksBeforeTheData)
{
    const QByteArray samples = toneBytes(300, 2, 44100);
    const QByteArray fmt = chunk("fmt ", fmtBody(1, 2, 44100, 4, 16));
    // Odd LIST chunk followed by its zero pad byte; then a 70000-byte chunk,
    // larger than the header area the reader ever holds.
    const QByteArray padded = chunk("LIST", QByteArray(33, 'x')) + QByteArray(1, '\0');
    const QByteArray big = chunk("JUNK", QByteArray(70000, 'j'));
    for (const QByteArray& before : {padded, big, padded + big}) {
        Opened o(riff(before + fmt + chunk("data", samples)));
        ASSERT_TRUE(o.in.IsValid());
        EXPECT_EQ(o.in.GetSize(), samples.size());
        EXPECT_EQ(readInput(o.in), samples);
    }
    // A pad byte after an odd "fmt " chunk (an 18-byte body is even; 17 is odd).
    Opened odd(riff(chunk("fmt ", fmtBody(1, 2, 44100, 4, 16) + "z") + QByteArray(1, '\0') + chunk("data", samples)));
    ASSERT_TRUE(odd.in.IsValid());
    EXPECT_EQ(readInput(odd.in), samples);
}

TEST(WaveLayout, AThreeGigabyteChunkIsSkippedBySeeking)
{
    // A sparse file: the 3 GB LIST chunk costs no disk space, and reading the
    // header must neither read nor buffer it.
    Sandbox box;
    const QString path = box.file("big.wav");
    const uint32_t listSize = 3000000000u;
    const QByteArray samples = toneBytes(100, 1, 8000);
    const QByteArray head = QByteArray("RIFF") + le32(0xFFFFFFFFu) + "WAVE" + "LIST" + le32(listSize);
    const QByteArray tail = chunk("fmt ", fmtBody(1, 1, 8000, 2, 16)) + chunk("data", samples);
    const int fd = ::open(path.toLocal8Bit().constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, head.constData(), head.size(), 0), head.size());
    ASSERT_EQ(::pwrite(fd, tail.constData(), tail.size(), head.size() + listSize), tail.size());
    ::close(fd);
    TWaveIn in;
    in.SetFileName(path);
    ASSERT_TRUE(in.IsValid());
    EXPECT_EQ(in.GetSize(), samples.size());
    EXPECT_EQ(readInput(in), samples);
}

TEST(WaveLayout, Rf64AndBw64AreRead)
{
    const QByteArray samples = toneBytes(500, 2, 48000);
    const QByteArray ds64 = chunk("ds64", le64(samples.size() + 80 - 8) + le64(samples.size()) + le64(500) + le32(0));
    for (const char* id : {"RF64", "BW64"}) {
        SCOPED_TRACE(id);
        const QByteArray file = QByteArray(id) + le32(0xFFFFFFFFu) + "WAVE" + ds64 +
                                chunk("fmt ", fmtBody(1, 2, 48000, 4, 16)) + "data" + le32(0xFFFFFFFFu) + samples;
        Opened o(file);
        ASSERT_TRUE(o.in.IsValid());
        EXPECT_EQ(o.in.GetSize(), samples.size());
        EXPECT_EQ(readInput(o.in), samples);
    }
    // RF64 without its ds64 chunk cannot tell its size: not read.
    Opened broken(QByteArray("RF64") + le32(0xFFFFFFFFu) + "WAVE" + chunk("fmt ", fmtBody(1, 2, 48000, 4, 16)) +
                  "data" + le32(0xFFFFFFFFu) + samples);
    EXPECT_FALSE(broken.in.IsValid());
}

TEST(WaveLayout, StereoImaBlocksWithAHalfGroupDecodeWhatTheyAnnounce)
{
    // 516-byte stereo blocks: 508 code bytes = 63 whole 8-byte groups and a
    // half group that holds no complete frame. Each block gives 1 + 63 x 8.
    const int blockAlign = 516;
    const int fpb = ima::framesPerBlock(blockAlign, 2);
    EXPECT_EQ(fpb, 505);
    const QByteArray pcm = toneBytes(fpb * 3, 2, 22050, 500, 0.4);
    // Encode three whole blocks with the 512-byte layout, then append four
    // bytes of codes to each: a reader must ignore them.
    QByteArray data;
    std::array<ima::ChannelState, 2> st{};
    const std::vector<int16_t> frames = s16(pcm);
    for (int b = 0; b < 3; ++b) {
        std::vector<uint8_t> block(512);
        ima::encodeBlock(std::span<const int16_t>(frames.data() + size_t(b) * fpb * 2, size_t(fpb) * 2), 2, st, block);
        data += QByteArray(reinterpret_cast<const char*>(block.data()), 512) + QByteArray("\x77\x77\x77\x77", 4);
    }
    QByteArray fmt = fmtBody(0x11, 2, 22050, blockAlign, 4) + le16(2) + le16(static_cast<uint16_t>(blockAlign - 7));
    // The fact chunk claims the samples per block the header formula gives
    // (509 per block): more than the blocks hold. The reader stays with what
    // it decodes.
    Opened o(riff(chunk("fmt ", fmt) + chunk("fact", le32(509 * 3)) + chunk("data", data)));
    ASSERT_TRUE(o.in.IsValid());
    EXPECT_EQ(o.in.GetSize(), int64_t(fpb) * 3 * 4);
    const QByteArray got = readInput(o.in, 1000);
    ASSERT_EQ(got.size(), o.in.GetSize());
    // Decoded IMA follows the tone closely; garbage from the half groups would not.
    const std::vector<int16_t> out = s16(got);
    double err = 0;
    for (size_t i = 0; i < out.size(); ++i)
        err += std::abs(double(out[i]) - frames[i]);
    EXPECT_LT(err / out.size(), 600.0);
}

}  // namespace
