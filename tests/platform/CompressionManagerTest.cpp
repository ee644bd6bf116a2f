// The compression manager layer over libavcodec: format suggestion, refusals,
// decoding real compressed WAV data (made by ffmpeg) through the classic
// open/size/prepare/convert/unprepare/close sequence, compared with ffmpeg,
// and the failure that names a decoding library missing at run time.

#include "platform/CompressionManager.h"
#include "platform/FfmpegLibrary.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <QDir>
#include <QFile>
#include <QProcess>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <dlfcn.h>
#include <link.h>

using namespace dw::acm;

namespace {

std::vector<uint8_t> pcmFormat(uint16_t tag, uint16_t ch, uint32_t rate, uint16_t align, uint16_t bits)
{
    std::vector<uint8_t> f(18, 0);
    auto p16 = [&](int o, uint16_t v) { f[o] = uint8_t(v); f[o + 1] = uint8_t(v >> 8); };
    auto p32 = [&](int o, uint32_t v) { p16(o, uint16_t(v)); p16(o + 2, uint16_t(v >> 16)); };
    p16(0, tag);
    p16(2, ch);
    p32(4, rate);
    p32(8, rate * align);
    p16(12, align);
    p16(14, bits);
    return f;
}

QByteArray ffmpeg(const QStringList& args)
{
    QProcess p;
    p.start("ffmpeg", QStringList{"-hide_banner", "-loglevel", "error", "-y"} + args);
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return {};
    return p.readAllStandardOutput();
}

// The "fmt " and "data" contents of a plain RIFF file (chunks walked by size).
bool splitWav(const QByteArray& file, std::vector<uint8_t>& fmt, QByteArray& data)
{
    int pos = 12;
    while (pos + 8 <= file.size()) {
        const QByteArray id = file.mid(pos, 4);
        const uint32_t size = uint8_t(file[pos + 4]) | uint8_t(file[pos + 5]) << 8 | uint8_t(file[pos + 6]) << 16 |
                              uint32_t(uint8_t(file[pos + 7])) << 24;
        const QByteArray body = file.mid(pos + 8, int(std::min<uint32_t>(size, uint32_t(file.size()))));
        if (id == "fmt ")
            fmt.assign(body.begin(), body.end());
        if (id == "data") {
            data = body;
            return !fmt.empty();
        }
        pos += 8 + int(size) + int(size & 1);
    }
    return false;
}

// Runs a whole conversion with a destination of `dstSize` bytes per call.
MMRESULT decodeAll(const std::vector<uint8_t>& fmt, const QByteArray& data, uint32_t dstSize, QByteArray& pcm)
{
    std::vector<uint8_t> dst(kMaxFormatSize, 0);
    dst[0] = 1;
    MMRESULT r = acmFormatSuggest(fmt, dst, ACM_FORMATSUGGESTF_WFORMATTAG);
    if (r)
        return r;
    HACMSTREAM s;
    if ((r = acmStreamOpen(s, fmt, dst, ACM_STREAMOPENF_NONREALTIME)))
        return r;
    uint32_t estimate = 0;
    EXPECT_EQ(acmStreamSize(s.get(), uint32_t(data.size()), estimate, ACM_STREAMSIZEF_SOURCE), 0u);
    EXPECT_GT(estimate, uint32_t(data.size()));
    std::vector<uint8_t> out(dstSize);
    ACMSTREAMHEADER h;
    h.pbSrc = reinterpret_cast<const uint8_t*>(data.constData());
    h.cbSrcLength = uint32_t(data.size());
    h.pbDst = out.data();
    h.cbDstLength = dstSize;
    EXPECT_EQ(acmStreamConvert(s.get(), h, 0), ACMERR_UNPREPARED);
    EXPECT_EQ(acmStreamPrepareHeader(s.get(), h, 0), 0u);
    r = acmStreamConvert(s.get(), h, ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_END);
    while (r == 0) {
        EXPECT_EQ(h.cbDstLengthUsed % 4, 0u);  // whole stereo frames
        pcm.append(reinterpret_cast<const char*>(out.data()), h.cbDstLengthUsed);
        if (acmStreamPending(s.get()) == 0)
            break;
        h.pbSrc = nullptr;
        h.cbSrcLength = 0;
        r = acmStreamConvert(s.get(), h, ACM_STREAMCONVERTF_BLOCKALIGN);
    }
    EXPECT_EQ(acmStreamUnprepareHeader(s.get(), h, 0), 0u);
    EXPECT_EQ(acmStreamClose(s, 0), 0u);
    return r;
}

TEST(CompressionManager, SuggestsPcmAndRefusesWhatItCannotDo)
{
    uint32_t size = 0;
    EXPECT_EQ(acmMetrics(ACM_METRIC_MAX_SIZE_FORMAT, size), 0u);
    EXPECT_EQ(size, kMaxFormatSize);
    EXPECT_EQ(acmMetrics(51, size), MMSYSERR_INVALPARAM);

    const auto mp3 = pcmFormat(0x55, 2, 44100, 1, 0);
    std::vector<uint8_t> dst(kMaxFormatSize, 0);
    dst[0] = 1;
    ASSERT_EQ(acmFormatSuggest(mp3, dst, ACM_FORMATSUGGESTF_WFORMATTAG), 0u);
    EXPECT_EQ(std::vector<uint8_t>(dst.begin(), dst.begin() + 18), pcmFormat(1, 2, 44100, 4, 16));

    dst[0] = 2;  // asked for a tag other than PCM
    EXPECT_EQ(acmFormatSuggest(mp3, dst, ACM_FORMATSUGGESTF_WFORMATTAG), ACMERR_NOTPOSSIBLE);
    dst[0] = 1;
    EXPECT_EQ(acmFormatSuggest(pcmFormat(0x4321, 2, 44100, 1, 0), dst, ACM_FORMATSUGGESTF_WFORMATTAG),
              ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(acmFormatSuggest(pcmFormat(0x55, 0, 44100, 1, 0), dst, ACM_FORMATSUGGESTF_WFORMATTAG),
              ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(acmFormatSuggest(std::vector<uint8_t>(10), dst, 0), MMSYSERR_INVALPARAM);

    // A conversion that changes rate or channels is not offered.
    HACMSTREAM s;
    EXPECT_EQ(acmStreamOpen(s, mp3, pcmFormat(1, 2, 22050, 4, 16), 0), ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(acmStreamOpen(s, mp3, pcmFormat(1, 1, 44100, 2, 16), 0), ACMERR_NOTPOSSIBLE);
    EXPECT_FALSE(s);
    EXPECT_EQ(acmStreamClose(s, 0), MMSYSERR_INVALHANDLE);
}

// Microsoft ADPCM goes through the block path (no parser), MPEG audio
// through the frame parser; both with destinations smaller than the output.
TEST(CompressionManager, DecodesLikeFfmpeg)
{
    dwtest::Sandbox box;
    struct Case {
        const char* codec;
        const char* name;
        uint32_t dst;
    } cases[] = {{"adpcm_ms", "ms.wav", 5000}, {"libmp3lame", "mp3.wav", 100000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codec);
        const QString file = box.file(c.name);
        ffmpeg({"-f", "lavfi", "-i", "sine=f=500:d=1.3:sample_rate=32000", "-ac", "2", "-c:a", c.codec, "-f", "wav",
                file});
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        std::vector<uint8_t> fmt;
        QByteArray data;
        ASSERT_TRUE(splitWav(f.readAll(), fmt, data));
        QByteArray ours;
        ASSERT_EQ(decodeAll(fmt, data, c.dst, ours), 0u);
        const QByteArray theirs = ffmpeg({"-i", file, "-f", "s16le", "-"});
        ASSERT_FALSE(theirs.isEmpty());
        if (QByteArray(c.codec) == "adpcm_ms") {
            // Same decoder, same blocks: identical samples.
            ASSERT_GE(ours.size(), theirs.size());
            EXPECT_TRUE(ours.left(theirs.size()) == theirs);
        } else {
            // MPEG: the demuxer may trim encoder padding; the frames decoded agree in count.
            EXPECT_NEAR(double(ours.size()), double(theirs.size()), 2 * 1152 * 4);
        }
    }
}

// Where the dynamic loader finds a library by its soname; empty when it does not.
QString systemLibrary(const char* soname)
{
    void* handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return {};
    link_map* map = nullptr;
    QString path;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name)
        path = QString::fromLocal8Bit(map->l_name);
    dlclose(handle);
    return path;
}

// With libavcodec absent from the library folder (the other three there),
// every entry that needs a decoder fails and the failure names libavcodec,
// not a library that is present; once the folder override is gone, the
// libraries are tried again and load. Runs in a fresh process (the libraries
// stay loaded once they are), which must exit with 0 and log the name.
TEST(CompressionManagerDeathTest, NamesTheMissingLibrary)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto& sonames = dw::ffmpeg::Sonames();
    const QString avcodec = QLatin1String(sonames[2]);
    ASSERT_TRUE(avcodec.startsWith("libavcodec.so."));
    const QString logged = QString(avcodec + " library could not be loaded").replace('.', "\\.");
    EXPECT_EXIT(
        {
#if defined(__SANITIZE_ADDRESS__)
            // The FFmpeg libraries loaded before the missing one keep memory
            // the child cannot free before it exits.
            __lsan_disable();
#endif
            dwtest::Sandbox box;
            const QString dir = box.file("libs");
            QStringList problems;
            if (!QDir().mkpath(dir))
                problems << "no folder";
            for (const char* soname : sonames) {
                if (QLatin1String(soname) == avcodec)
                    continue;
                const QString real = systemLibrary(soname);
                if (real.isEmpty() || !QFile::link(real, dir + '/' + QLatin1String(soname)))
                    problems << QString("cannot place %1").arg(QLatin1String(soname));
            }
            qputenv("DISCWRIGHT_FFMPEG_LIBDIR", dir.toLocal8Bit());
            const auto mp3 = pcmFormat(0x55, 2, 44100, 1, 0);
            std::vector<uint8_t> dst(kMaxFormatSize, 0);
            dst[0] = 1;
            if (acmFormatSuggest(mp3, dst, ACM_FORMATSUGGESTF_WFORMATTAG) != MMSYSERR_ERROR)
                problems << "suggest did not fail";
            HACMSTREAM s;
            if (acmStreamOpen(s, mp3, pcmFormat(1, 2, 44100, 4, 16), 0) != MMSYSERR_ERROR || s)
                problems << "open did not fail";
            if (canDecodeTag(0x55))
                problems << "decodes without libavcodec";
            const QString failure = acmLibraryFailure();
            if (!failure.startsWith(avcodec + " library could not be loaded. ("))
                problems << "failure: " + failure;
            qunsetenv("DISCWRIGHT_FFMPEG_LIBDIR");
            if (!acmLibraryFailure().isEmpty() || acmFormatSuggest(mp3, dst, ACM_FORMATSUGGESTF_WFORMATTAG) != 0)
                problems << "not loaded from the system afterwards";
            std::fprintf(stderr, "%s\n", qPrintable(problems.join("; ")));
            std::exit(problems.isEmpty() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), logged.toStdString());
}

}  // namespace
