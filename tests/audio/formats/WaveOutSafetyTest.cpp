// TWaveOut's handling of the files it writes: whole or not at all, never
// through a symbolic link, never over its own input, a failed append put
// back as it was, a file with a never-fixed header appended to, and RF64
// for data past 4 GiB (made of silence, which is written as holes, so the
// test costs neither time nor disk space).

#include "audio/formats/WaveIn.h"
#include "audio/formats/WaveOut.h"
#include "WaveTestUtil.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

using namespace dw;
using namespace dwtest;

namespace {

uint32_t at32(const QByteArray& b, int o)
{
    return uint32_t(uint8_t(b[o])) | uint32_t(uint8_t(b[o + 1])) << 8 | uint32_t(uint8_t(b[o + 2])) << 16 |
           uint32_t(uint8_t(b[o + 3])) << 24;
}
uint64_t at64(const QByteArray& b, int o)
{
    return uint64_t(at32(b, o)) | uint64_t(at32(b, o + 4)) << 32;
}

QString run(TWaveOut& out, TAuInput& in, const QString& file, TFileOutputMode mode = foRewrite)
{
    out.SetFileName(file);
    out.SetInput(&in);
    out.SetFileMode(mode);
    EXPECT_TRUE(runToEnd(out));
    return out.GetExceptionMessage();
}

QStringList leftovers(const Sandbox& box)
{
    return QDir(box.path()).entryList(QDir::Files | QDir::Hidden).filter(".part");
}

// Silence in 1 MiB blocks, announced or not.
class SilenceInput : public TAuInput {
public:
    SilenceInput(int64_t bytes, bool announce) : total_(bytes), announce_(announce) {}
    uint32_t GetBitsPerSample() override { return 16; }
    uint32_t GetChannels() override { return 2; }
    uint32_t GetSampleRate() override { return 48000; }

protected:
    void DoInit() override
    {
        Busy = true;
        left_ = total_;
        Position = 0;
        Size = announce_ ? total_ : -1;
    }
    void DoFlush() override { Busy = false; }
    void DoGetData(void*& buffer, uint32_t& bytes) override
    {
        bytes = static_cast<uint32_t>(std::min<int64_t>({bytes, left_, int64_t(zeros_.size())}));
        buffer = zeros_.data();
        left_ -= bytes;
        Position += bytes;
    }

private:
    int64_t total_, left_ = 0;
    bool announce_;
    std::vector<uint8_t> zeros_ = std::vector<uint8_t>(1 << 20, 0);
};

TEST(WaveOutFiles, WholeOrNotAtAllAndNeverThroughALink)
{
    Sandbox box;
    const QString file = box.file("o.wav");
    writeAll(file, "the old contents");
    // A refused format and a failing input both leave the old file.
    {
        ScriptedInput eight(QByteArray(100, '\x80'), 8000, 1, 8, 100);
        TWaveOut out;
        out.SetWavType(wtDVIADPCM);
        EXPECT_EQ(run(out, eight, file), "Cannot encode 8 bit sound into ADPCM.");
    }
    {
        ScriptedInput failing(toneBytes(20000, 1, 8000), 8000, 1, 16, 40000, 4096, 8192);
        TWaveOut out;
        EXPECT_EQ(run(out, failing, file), "input failed on purpose");
    }
    EXPECT_EQ(readAll(file), "the old contents");
    EXPECT_TRUE(leftovers(box).isEmpty());

    // A good run replaces it; a symbolic link at the destination is replaced
    // by the file, and what it pointed to is untouched.
    writeAll(box.file("target.txt"), "keep me");
    ASSERT_EQ(::symlink("target.txt", box.file("link.wav").toLocal8Bit().constData()), 0);
    const QByteArray data = toneBytes(100, 1, 8000);
    ScriptedInput good(data, 8000, 1, 16, data.size());
    TWaveOut out;
    EXPECT_EQ(run(out, good, box.file("link.wav")), "");
    EXPECT_FALSE(QFileInfo(box.file("link.wav")).isSymLink());
    EXPECT_EQ(readAll(box.file("link.wav")).size(), 44 + data.size());
    EXPECT_EQ(readAll(box.file("target.txt")), "keep me");
}

TEST(WaveOutFiles, TheInputFileIsNeverTheOutput)
{
    Sandbox box;
    const QString file = box.file("in.wav");
    const QByteArray data = toneBytes(2000, 2, 44100);
    {
        ScriptedInput src(data, 44100, 2, 16, data.size());
        TWaveOut out;
        ASSERT_EQ(run(out, src, file), "");
    }
    const QByteArray before = readAll(file);
    ASSERT_EQ(::symlink("in.wav", box.file("sym.wav").toLocal8Bit().constData()), 0);
    ASSERT_EQ(::link(file.toLocal8Bit().constData(), box.file("hard.wav").toLocal8Bit().constData()), 0);
    for (const QString& name : {file, box.path() + "/./in.wav", box.file("sym.wav"), box.file("hard.wav")}) {
        for (TFileOutputMode mode : {foRewrite, foAppend}) {
            SCOPED_TRACE(name.toStdString());
            TWaveIn in;
            in.SetFileName(file);
            TWaveOut out;
            const QString message = run(out, in, name, mode);
            EXPECT_TRUE(message.startsWith(name + ": ")) << message.toStdString();
            EXPECT_TRUE(message.contains("input file")) << message.toStdString();
        }
    }
    EXPECT_EQ(readAll(file), before);
    EXPECT_TRUE(leftovers(box).isEmpty());
}

TEST(WaveOutFiles, FailedAppendPutsTheFileBackAndStaleHeadersAreAppendedTo)
{
    Sandbox box;
    const QString file = box.file("a.wav");
    const QByteArray first = toneBytes(3000, 1, 22050);
    {
        ScriptedInput in(first, 22050, 1, 16, first.size());
        TWaveOut out;
        ASSERT_EQ(run(out, in, file), "");
    }
    const QByteArray before = readAll(file);
    {
        ScriptedInput failing(toneBytes(20000, 1, 22050), 22050, 1, 16, 40000, 4096, 8192);
        TWaveOut out;
        EXPECT_EQ(run(out, failing, file, foAppend), "input failed on purpose");
    }
    EXPECT_EQ(readAll(file), before);

    // A write that never fixed its header: data size 0 with audio behind it.
    QByteArray stale = before;
    stale.replace(40, 4, QByteArray(4, '\0'));
    writeAll(file, stale);
    const QByteArray second = toneBytes(500, 1, 22050, 900);
    {
        ScriptedInput in(second, 22050, 1, 16, second.size());
        TWaveOut out;
        EXPECT_EQ(run(out, in, file, foAppend), "");
    }
    const QByteArray after = readAll(file);
    ASSERT_EQ(after.size(), before.size() + second.size());
    EXPECT_EQ(at32(after, 40), uint32_t(first.size() + second.size()));
    EXPECT_EQ(at32(after, 4), uint32_t(after.size() - 8));
    EXPECT_EQ(after.mid(44), first + second);
}

TEST(WaveOutFiles, PastFourGigabytesTheFileIsRf64)
{
    Sandbox box;
    const int64_t dataSize = (int64_t(1) << 32) + (int64_t(1) << 20);  // 4 GiB + 1 MiB
    struct Case {
        const char* name;
        bool announce;
    };
    for (const Case& c : {Case{"announced", true}, Case{"unknown size", false}}) {
        SCOPED_TRACE(c.name);
        const QString file = box.file(QString("big-%1.wav").arg(c.announce));
        SilenceInput in(dataSize, c.announce);
        TWaveOut out;
        ASSERT_EQ(run(out, in, file), "");
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray h = f.read(80);
        EXPECT_EQ(f.size(), 80 + dataSize);
        EXPECT_EQ(h.left(4), "RF64");
        EXPECT_EQ(at32(h, 4), 0xFFFFFFFFu);
        EXPECT_EQ(h.mid(12, 4), "ds64");
        EXPECT_EQ(at64(h, 20), uint64_t(80 + dataSize - 8));
        EXPECT_EQ(at64(h, 28), uint64_t(dataSize));
        EXPECT_EQ(at64(h, 36), uint64_t(dataSize / 4));
        EXPECT_EQ(h.mid(48, 4), "fmt ");
        EXPECT_EQ(h.mid(72, 4), "data");
        EXPECT_EQ(at32(h, 76), 0xFFFFFFFFu);

        // Our reader and the peer see the full length. (sox reads RF64 too,
        // but scans all 4 GiB to count the samples: over a minute.)
        TWaveIn wi;
        wi.SetFileName(file);
        EXPECT_EQ(wi.GetTotalSamples(), dataSize / 4);
        ToolResult probe = runTool("ffprobe", {"-v", "error", "-show_entries", "stream=duration_ts,codec_name",
                                               "-of", "csv=p=0", file});
        ASSERT_TRUE(probe.ok) << probe.err.toStdString();
        EXPECT_EQ(probe.out.trimmed(), QByteArray("pcm_s16le,") + QByteArray::number(qint64(dataSize / 4)));
        // Silence took no room on the disk.
        struct stat st;
        ASSERT_EQ(::stat(file.toLocal8Bit().constData(), &st), 0);
        EXPECT_LT(int64_t(st.st_blocks) * 512, int64_t(64) << 20);
        QFile::remove(file);
    }
    EXPECT_TRUE(leftovers(box).isEmpty());
}

}  // namespace
