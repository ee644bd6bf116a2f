// ReplayGain values of rips and conversions, judged by the reference tools:
// a CD image whose second track is 12 dB softer than the first is ripped
// with --replaygain to MP3 in drive and ripper mode (mutagen reads the
// ID3v2.4 TXXX frames), to FLAC (metaflac reads the comments) and to Opus
// (opusinfo reads the R128 gains); its tracks are converted to Ogg Vorbis
// and Opus (vorbiscomment, opusinfo). Every value agrees with ffmpeg's
// ebur128 measurement of the same samples within 0.1 dB.

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

#include "support/CdImages.h"
#include "support/TestSupport.h"

using dwtest::runCli;

namespace {

constexpr int kSector = 2352;
constexpr int kSecondsPerTrack = 4;

struct Peer {
    double lufs = 0;
    double peakDb = 0;  // sample peak, dBFS
};

// ffmpeg's ebur128 summary (one decimal) of a file it can read, or of raw
// CD samples when raw is set.
Peer ffmpegLoudness(const QString& path, bool raw)
{
    QStringList args{"-nostdin", "-hide_banner"};
    if (raw)
        args << "-f" << "s16le" << "-ar" << "44100" << "-ac" << "2";
    args << "-i" << path << "-af" << "ebur128=peak=sample" << "-f" << "null" << "-";
    QProcess p;
    p.start("ffmpeg", args);
    EXPECT_TRUE(p.waitForFinished(60000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    const QString tail = err.mid(err.lastIndexOf("Summary:"));
    const auto i = QRegularExpression(R"(I:\s+(-?[\d.]+) LUFS)").match(tail);
    const auto pk = QRegularExpression(R"(Peak:\s+(-?[\d.]+) dBFS)").match(tail);
    EXPECT_TRUE(i.hasMatch() && pk.hasMatch()) << err.toStdString();
    return {i.captured(1).toDouble(), pk.captured(1).toDouble()};
}

// "-6.54 dB" -> -6.54; NaN when the text is not a gain.
double gainOf(const QString& text)
{
    const auto m = QRegularExpression(R"(^(-?\d+\.\d\d) dB$)").match(text);
    return m.hasMatch() ? m.captured(1).toDouble() : std::nan("");
}

double peakDbOf(const QString& text)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok && v > 0 ? 20 * std::log10(v) : std::nan("");
}

void expectMatches(const QString& gain, const QString& peak, const Peer& peer, const std::string& what)
{
    SCOPED_TRACE(what);
    EXPECT_NEAR(gainOf(gain), -18.0 - peer.lufs, 0.1) << gain.toStdString();
    EXPECT_NEAR(peakDbOf(peak), peer.peakDb, 0.1) << peak.toStdString();
}

// The ID3v2 tag of an MP3 as mutagen reads it: version and the frames named.
QJsonObject mutagenFrames(const QString& mp3)
{
    const char* script = R"(
import json, sys
from mutagen.id3 import ID3
t = ID3(sys.argv[1])
out = {"version": "%d.%d" % t.version[:2]}
for key in ("TIT2", "TRCK", "TXXX:REPLAYGAIN_TRACK_GAIN", "TXXX:REPLAYGAIN_TRACK_PEAK",
            "TXXX:REPLAYGAIN_ALBUM_GAIN", "TXXX:REPLAYGAIN_ALBUM_PEAK"):
    if key in t:
        out[key] = str(t[key].text[0])
print(json.dumps(out))
)";
    QProcess p;
    p.start("/usr/bin/python3", {"-c", script, mp3});
    EXPECT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

// A comment of an Ogg Vorbis (vorbiscomment) or Opus (opusinfo) file;
// empty when the file has none of that name.
QString oggComment(const QString& file, const QString& name)
{
    QProcess p;
    p.start(file.endsWith(".opus") ? "opusinfo" : "vorbiscomment",
            file.endsWith(".opus") ? QStringList{file} : QStringList{"-l", file});
    EXPECT_TRUE(p.waitForFinished(60000));
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n')) {
        const QString t = line.trimmed();
        if (t.section('=', 0, 0).compare(name, Qt::CaseInsensitive) == 0 && t.contains('='))
            return t.section('=', 1);
    }
    return {};
}

// An R128 gain (Q7.8 to -23 LUFS) as the ReplayGain 2.0 gain it stands for.
double r128AsReplayGain(const QString& q78)
{
    bool ok = false;
    const int v = q78.toInt(&ok);
    return ok ? v / 256.0 + 5.0 : std::nan("");
}

QString metaflacTag(const QString& flac, const QString& name)
{
    QProcess p;
    p.start("metaflac", {"--show-tag=" + name, flac});
    EXPECT_TRUE(p.waitForFinished(60000));
    const QString line = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    const qsizetype eq = line.indexOf('=');
    return eq < 0 ? QString() : line.mid(eq + 1);
}

}  // namespace

TEST(CliReplayGain, RipsWriteTrackAndAlbumValuesThatFfmpegConfirms)
{
    dwtest::Sandbox box;
    const QString cue = dwtest::makeCdImage(box.path(), {kSecondsPerTrack, kSecondsPerTrack});
    // The tool gives every track a tone of the same level; the second track
    // is turned down to a quarter (-12 dB) so the tracks differ in loudness.
    QByteArray bin = box.read("disc.bin");
    const qsizetype trackBytes = qsizetype(kSecondsPerTrack) * 75 * kSector;
    ASSERT_EQ(bin.size(), 2 * trackBytes);
    for (qsizetype i = trackBytes; i + 1 < bin.size(); i += 2) {
        const auto s = int16_t(uint8_t(bin[i]) | (uint8_t(bin[i + 1]) << 8));
        const auto q = int16_t(s / 4);
        bin[i] = char(uint16_t(q) & 0xff);
        bin[i + 1] = char(uint16_t(q) >> 8);
    }
    box.write("disc.bin", bin);
    box.write("t1.raw", bin.left(trackBytes));
    box.write("t2.raw", bin.mid(trackBytes));
    const Peer peer1 = ffmpegLoudness(box.file("t1.raw"), true);
    const Peer peer2 = ffmpegLoudness(box.file("t2.raw"), true);
    // The album's loudness is that of its tracks played one after another;
    // its peak is the highest track peak (the joined stream would add the
    // overshoot of the step between the tracks, which no file holds).
    Peer album = ffmpegLoudness(box.file("disc.bin"), true);
    album.peakDb = std::max(peer1.peakDb, peer2.peakDb);
    ASSERT_GT(peer1.lufs - peer2.lufs, 11.0);

    ASSERT_EQ(runCli({"config", "ID3.Use=1"}).status, 0);
    ASSERT_EQ(runCli({"title", "--device", cue, "2", "Soft"}).status, 0);

    // WAV files carry no values: asking for them is refused.
    auto r = runCli({"rip", "--device", cue, "--output", box.file("none"), "--format", "wav", "--replaygain"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains("--replaygain needs --format mp3, ogg, flac or opus")) << r.err.toStdString();

    // Drive mode measures what lame encodes: the same values, album included.
    const QString driveDir = box.file("drive");
    r = runCli({"rip", "--device", cue, "--output", driveDir, "--mode", "drive", "--format", "mp3", "--replaygain"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QJsonObject d1 = mutagenFrames(driveDir + "/Track01.mp3");
    const QJsonObject d2 = mutagenFrames(driveDir + "/Soft.mp3");
    EXPECT_EQ(d2["version"].toString(), "2.4");
    EXPECT_EQ(d2["TIT2"].toString(), "Soft");
    expectMatches(d1["TXXX:REPLAYGAIN_TRACK_GAIN"].toString(), d1["TXXX:REPLAYGAIN_TRACK_PEAK"].toString(), peer1,
                  "drive mp3 track 1");
    expectMatches(d2["TXXX:REPLAYGAIN_TRACK_GAIN"].toString(), d2["TXXX:REPLAYGAIN_TRACK_PEAK"].toString(), peer2,
                  "drive mp3 track 2");
    EXPECT_EQ(d1["TXXX:REPLAYGAIN_ALBUM_GAIN"], d2["TXXX:REPLAYGAIN_ALBUM_GAIN"]);
    expectMatches(d1["TXXX:REPLAYGAIN_ALBUM_GAIN"].toString(), d1["TXXX:REPLAYGAIN_ALBUM_PEAK"].toString(), album,
                  "drive mp3 album");

    const QString mp3Dir = box.file("mp3");
    r = runCli({"rip", "--device", cue, "--output", mp3Dir, "--mode", "ripper", "--format", "mp3", "--replaygain"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList mp3s = QDir(mp3Dir).entryList({"*.mp3"}, QDir::Files, QDir::Name);
    ASSERT_EQ(mp3s.size(), 2) << mp3s.join(' ').toStdString();
    const QString soft = mp3s.filter("Soft").value(0), loud = mp3s.filter("Track01").value(0);
    ASSERT_FALSE(soft.isEmpty() || loud.isEmpty()) << mp3s.join(' ').toStdString();
    const QJsonObject f1 = mutagenFrames(mp3Dir + "/" + loud);
    const QJsonObject f2 = mutagenFrames(mp3Dir + "/" + soft);
    EXPECT_EQ(f2["version"].toString(), "2.4");
    EXPECT_EQ(f2["TIT2"].toString(), "Soft");
    EXPECT_EQ(f2["TRCK"].toString(), "2/2");  // number/total
    expectMatches(f1["TXXX:REPLAYGAIN_TRACK_GAIN"].toString(), f1["TXXX:REPLAYGAIN_TRACK_PEAK"].toString(), peer1,
                  "mp3 track 1");
    expectMatches(f2["TXXX:REPLAYGAIN_TRACK_GAIN"].toString(), f2["TXXX:REPLAYGAIN_TRACK_PEAK"].toString(), peer2,
                  "mp3 track 2");
    // One album: the same values in both files, those of the whole disc.
    EXPECT_EQ(f1["TXXX:REPLAYGAIN_ALBUM_GAIN"], f2["TXXX:REPLAYGAIN_ALBUM_GAIN"]);
    EXPECT_EQ(f1["TXXX:REPLAYGAIN_ALBUM_PEAK"], f2["TXXX:REPLAYGAIN_ALBUM_PEAK"]);
    expectMatches(f2["TXXX:REPLAYGAIN_ALBUM_GAIN"].toString(), f2["TXXX:REPLAYGAIN_ALBUM_PEAK"].toString(), album,
                  "mp3 album");

    const QString flacDir = box.file("flac");
    r = runCli({"rip", "--device", cue, "--output", flacDir, "--mode", "ripper", "--format", "flac", "--replaygain"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QStringList flacs = QDir(flacDir).entryList({"*.flac"}, QDir::Files, QDir::Name);
    ASSERT_EQ(flacs.size(), 2) << flacs.join(' ').toStdString();
    const QString flacNames[] = {flacs.filter("Track01").value(0), flacs.filter("Soft").value(0)};
    const Peer flacPeers[] = {peer1, peer2};
    for (int i = 0; i < 2; ++i) {
        const QString flac = flacDir + "/" + flacNames[i];
        expectMatches(metaflacTag(flac, "REPLAYGAIN_TRACK_GAIN"), metaflacTag(flac, "REPLAYGAIN_TRACK_PEAK"),
                      flacPeers[i], "flac track " + std::to_string(i + 1));
        // The album's values reach the FLAC files once the last track is done.
        expectMatches(metaflacTag(flac, "REPLAYGAIN_ALBUM_GAIN"), metaflacTag(flac, "REPLAYGAIN_ALBUM_PEAK"), album,
                      "flac album " + std::to_string(i + 1));
    }

    // Opus: R128 gains, track and album, and no REPLAYGAIN_* comments.
    const QString opusDir = box.file("opus");
    r = runCli({"rip", "--device", cue, "--output", opusDir, "--mode", "ripper", "--format", "opus", "--replaygain"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QString opusFiles[] = {opusDir + "/Track01.opus", opusDir + "/Soft.opus"};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(opusFiles[i].toStdString());
        EXPECT_NEAR(r128AsReplayGain(oggComment(opusFiles[i], "R128_TRACK_GAIN")), -18.0 - flacPeers[i].lufs, 0.1);
        EXPECT_NEAR(r128AsReplayGain(oggComment(opusFiles[i], "R128_ALBUM_GAIN")), -18.0 - album.lufs, 0.1);
        EXPECT_EQ(oggComment(opusFiles[i], "REPLAYGAIN_TRACK_GAIN"), QString());
    }

    // A normalised track is measured as it is encoded, not as it was read;
    // without the flag (and the setting off) no values are written.
    const QString scaledDir = box.file("scaled");
    r = runCli({"rip", "--device", cue, "--output", scaledDir, "--mode", "ripper", "--format", "flac", "--tracks",
                "2", "--normalize", "400", "--replaygain"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QString scaled = scaledDir + "/" + QDir(scaledDir).entryList({"*.flac"}, QDir::Files).value(0);
    const Peer scaledPeer = ffmpegLoudness(scaled, false);
    ASSERT_NEAR(scaledPeer.lufs - peer2.lufs, 12.0, 0.2);
    expectMatches(metaflacTag(scaled, "REPLAYGAIN_TRACK_GAIN"), metaflacTag(scaled, "REPLAYGAIN_TRACK_PEAK"),
                  scaledPeer, "normalised flac");

    const QString plainDir = box.file("plain");
    r = runCli({"rip", "--device", cue, "--output", plainDir, "--mode", "ripper", "--format", "flac", "--tracks", "1"});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QString plain = plainDir + "/" + QDir(plainDir).entryList({"*.flac"}, QDir::Files).value(0);
    EXPECT_EQ(metaflacTag(plain, "REPLAYGAIN_TRACK_GAIN"), QString());
    EXPECT_EQ(metaflacTag(plain, "TITLE"), "Track01");
}

TEST(CliReplayGain, ConversionsWriteTrackValuesThatFfmpegConfirmsAndNoAlbumValues)
{
    dwtest::Sandbox box;
    // Two tones 12 dB apart, as WAV files.
    QStringList wavs;
    for (const QString& volume : {"0.5", "0.125"}) {
        const QString wav = box.file("tone" + volume + ".wav");
        QProcess p;
        p.start("ffmpeg", {"-v", "error", "-nostdin", "-f", "lavfi", "-i", "sine=f=997:d=3", "-af", "volume=" + volume,
                           "-ac", "2", "-ar", "44100", "-y", wav});
        ASSERT_TRUE(p.waitForFinished(60000));
        ASSERT_EQ(p.exitCode(), 0);
        wavs << wav;
    }
    const Peer peers[] = {ffmpegLoudness(wavs[0], false), ffmpegLoudness(wavs[1], false)};

    auto r = runCli({"convert", "wav", wavs[0], "--output", box.file("none"), "--replaygain"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains("--replaygain works with mp3, ogg, flac and opus outputs")) << r.err.toStdString();

    for (const QString format : {"ogg", "opus"}) {
        const QString dir = box.file(format);
        QDir().mkpath(dir);
        r = runCli({"convert", format, wavs[0], wavs[1], "--output", dir, "--replaygain", "--jobs", "2"});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        for (int i = 0; i < 2; ++i) {
            const QString file = dir + "/" + QFileInfo(wavs[i]).completeBaseName() + "." + format;
            SCOPED_TRACE(file.toStdString());
            if (format == "opus") {
                EXPECT_NEAR(r128AsReplayGain(oggComment(file, "R128_TRACK_GAIN")), -18.0 - peers[i].lufs, 0.1);
                EXPECT_EQ(oggComment(file, "R128_ALBUM_GAIN"), QString());
            } else {
                expectMatches(oggComment(file, "REPLAYGAIN_TRACK_GAIN"), oggComment(file, "REPLAYGAIN_TRACK_PEAK"),
                              peers[i], "ogg");
                EXPECT_EQ(oggComment(file, "REPLAYGAIN_ALBUM_GAIN"), QString());
            }
        }
    }
    // Without the flag (and the setting off) a conversion writes no values.
    QDir().mkpath(box.file("plain"));
    r = runCli({"convert", "ogg", wavs[0], "--output", box.file("plain")});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(oggComment(box.file("plain/tone0.5.ogg"), "REPLAYGAIN_TRACK_GAIN"), QString());
}
