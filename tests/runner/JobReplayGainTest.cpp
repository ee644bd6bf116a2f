// ReplayGain values and ID3v2.4 tags written by the job runner: drive-mode
// rips of a CD image (read by the real rip thread, encoded by lame and our
// Ogg Vorbis, FLAC and Opus writers) and file conversions. The tags are read
// by the reference readers: mutagen (ID3v2.4 frames and the ID3v1 trailer),
// vorbiscomment, metaflac and opusinfo.

#include "app/Genres.h"
#include "app/Settings.h"
#include "cd/DriveLibrary.h"
#include "cd/DriveRecords.h"
#include "platform/CdDrives.h"
#include "platform/Dialogs.h"
#include "runner/RunJob.h"
#include "support/CdImages.h"
#include "support/ImageDrive.h"
#include "support/JobWait.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>

using namespace dw;
using Outcome = TJobItemResult::Outcome;

using dwtest::peer;

namespace {

constexpr int kSector = 2352;
constexpr int kSeconds = 3;

class SilentView : public TJobView {
public:
    void StageStarted(const TJobStage& stage) override
    {
        if (onStage)
            onStage(stage);
    }
    std::function<void(const TJobStage&)> onStage;
};


// Every tag value of an encoded file as its reference reader lists it:
// upper-case comment names, or for an MP3 the ID3v2 frame keys
// ("TXXX:REPLAYGAIN_TRACK_GAIN", "COMM::eng") with "version" (2.x) and
// "v1title" from the ID3v1 trailer.
QMap<QString, QString> tagsOf(const QString& file)
{
    QMap<QString, QString> out;
    QStringList lines;
    if (file.endsWith(".mp3")) {
        const char* script = R"PY(
import json, sys
from mutagen.id3 import ID3, ParseID3v1, ID3NoHeaderError
out = {}
try:
    t = ID3(sys.argv[1], load_v1=False, translate=False)
    out["version"] = "2.%d" % t.version[1]
    for key, frame in t.items():
        out[key] = "/".join(str(x) for x in frame.text)
except ID3NoHeaderError:
    pass
v1 = ParseID3v1(open(sys.argv[1], "rb").read()[-128:])
if v1 and "TIT2" in v1:
    out["v1title"] = str(v1["TIT2"].text[0])
print(json.dumps(out))
)PY";
        const QJsonObject o = QJsonDocument::fromJson(peer("/usr/bin/python3", {"-c", script, file}).toUtf8()).object();
        for (auto it = o.begin(); it != o.end(); ++it)
            out.insert(it.key(), it.value().toString());
        return out;
    }
    if (file.endsWith(".flac")) {
        lines = peer("metaflac", {"--export-tags-to=-", file}).split('\n');
    } else if (file.endsWith(".ogg")) {
        lines = peer("vorbiscomment", {"-l", file}).split('\n');
    } else {
        const QStringList all = peer("opusinfo", {file}).split('\n');
        const qsizetype from = all.indexOf("User comments section follows...");
        for (qsizetype i = from + 1; from >= 0 && i < all.size() && all[i].startsWith('\t'); ++i)
            lines << all[i].mid(1);
    }
    for (const QString& line : lines) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            out.insert(line.left(eq).toUpper(), line.mid(eq + 1));
    }
    return out;
}

// The value of a loudness tag whatever the container: "TXXX:NAME" in an
// MP3, the comment NAME otherwise.
QString value(const QMap<QString, QString>& tags, const QString& name)
{
    return tags.value(tags.contains("TXXX:" + name) ? "TXXX:" + name : name);
}

double gainOf(const QString& text)
{
    const auto m = QRegularExpression(R"(^(-?\d+\.\d\d) dB$)").match(text);
    return m.hasMatch() ? m.captured(1).toDouble() : std::nan("");
}

// A 16-bit stereo 440 Hz sine WAV (ffmpeg's tone, scaled by volume).
void writeWav(const QString& path, int rate, double seconds, double volume)
{
    QProcess p;
    p.start("ffmpeg", {"-v", "error", "-nostdin", "-f", "lavfi", "-i",
                       QString("sine=f=440:d=%1:sample_rate=%2").arg(seconds).arg(rate), "-af",
                       QString("volume=%1").arg(volume), "-ac", "2", "-c:a", "pcm_s16le", "-y", path});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

class JobReplayGainTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AppSettings = TAppSettings{};
        out = box.file("out");
        QDir().mkpath(out);
        AppSettings.OutputFolder = out;
        AppSettings.ReplayGainUse = true;
    }
    void TearDown() override
    {
        if (handle)
            CloseCDHandle(handle);
        SetExplicitCdDevices({});
        AppSettings = TAppSettings{};
    }
    // Three tones of kSeconds; the second one turned down by 12 dB, so the
    // tracks differ in loudness and the album lies between them.
    void openDisc()
    {
        const QString cue = dwtest::makeCdImage(box.path(), {kSeconds, kSeconds, kSeconds});
        QByteArray bin = box.read("disc.bin");
        const qsizetype track = qsizetype(kSeconds) * 75 * kSector;
        ASSERT_EQ(bin.size(), 3 * track);
        for (qsizetype i = track; i + 1 < 2 * track; i += 2) {
            const auto s = int16_t(uint8_t(bin[i]) | (uint8_t(bin[i + 1]) << 8));
            const auto q = uint16_t(int16_t(s / 4));
            bin[i] = char(q & 0xff);
            bin[i + 1] = char(q >> 8);
        }
        box.write("disc.bin", bin);
        handle = dwtest::openImageDrive(cue);
        ASSERT_NE(handle, 0);
    }
    TJobSummary rip(const QStringList& items)
    {
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        ScopedDialogs scoped(dialogs);
        return dwtest::runJob(jkRipTracks, handle, items, TJobConfig::FromSettings(AppSettings), view);
    }
    QStringList files() const { return QDir(out).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

    dwtest::Sandbox box;
    QString out;
    int handle = 0;
    ScriptedDialogs dialogs;
    SilentView view;
};

TEST_F(JobReplayGainTest, DriveModeRipsCarryTrackAndAlbumValuesAndId3v24InEveryTaggedFormat)
{
    openDisc();
    AppSettings.Use = true;
    AppSettings.DiscArtist = "The Artist";
    AppSettings.DiscAlbum = "The Album";
    AppSettings.DiscYear = "2001";
    AppSettings.DiscGenre = FindGenreName("Rock");
    AppSettings.DiscComment = "Live";
    AppSettings.DiscTrackCount = 3;
    const QStringList names{"Loud", "Soft", "Other"};

    // format -> file -> tags
    QMap<int, QList<QMap<QString, QString>>> tags;
    for (const int format : {0, 2, 4, 5}) {
        AppSettings.OutputFormat = format;
        const TJobSummary s = rip({"01Loud", "02Soft", "03Other"});
        const QString ext = format == 0 ? ".mp3" : format == 2 ? ".ogg" : format == 4 ? ".flac" : ".opus";
        SCOPED_TRACE(ext.toStdString());
        ASSERT_EQ(s.count(Outcome::Done), 3) << s.items[0].message.toStdString() << s.items[2].message.toStdString();
        EXPECT_EQ(files(), (QStringList{"Loud" + ext, "Other" + ext, "Soft" + ext}));
        for (const QString& name : names)
            tags[format] << tagsOf(out + "/" + name + ext);
        const auto& t = tags[format];
        const QString gain = format == 5 ? "R128_TRACK_GAIN" : "REPLAYGAIN_TRACK_GAIN";
        const QString albumGain = format == 5 ? "R128_ALBUM_GAIN" : "REPLAYGAIN_ALBUM_GAIN";
        // One album: the same album values in every file.
        for (int i = 0; i < 3; ++i) {
            EXPECT_FALSE(value(t[i], gain).isEmpty()) << names[i].toStdString();
            EXPECT_EQ(value(t[i], albumGain), value(t[0], albumGain));
        }
        if (format == 5) {
            // Opus: Q7.8 gains to -23 LUFS, no REPLAYGAIN_* comments; the
            // soft track needs 12 dB (3072) more.
            for (const auto& f : t)
                EXPECT_TRUE(f.keys().filter("REPLAYGAIN").isEmpty()) << f.keys().join(' ').toStdString();
            EXPECT_NEAR(value(t[1], gain).toInt() - value(t[0], gain).toInt(), 3072, 26);
            continue;
        }
        EXPECT_NEAR(gainOf(value(t[1], gain)) - gainOf(value(t[0], gain)), 12.04, 0.1);
        const double album = gainOf(value(t[0], albumGain));
        EXPECT_GT(album, gainOf(value(t[0], gain)));
        EXPECT_LT(album, gainOf(value(t[1], gain)));
        // The album peak is the highest track peak.
        QString highest;
        for (const auto& f : t)
            if (highest.isEmpty() || value(f, "REPLAYGAIN_TRACK_PEAK").toDouble() > highest.toDouble())
                highest = value(f, "REPLAYGAIN_TRACK_PEAK");
        for (const auto& f : t)
            EXPECT_EQ(value(f, "REPLAYGAIN_ALBUM_PEAK"), highest);
    }
    // Every format measured the same ripped PCM: the same values, and the
    // Opus gains are those values moved to -23 LUFS.
    for (int i = 0; i < 3; ++i) {
        for (const QString& name : {"REPLAYGAIN_TRACK_GAIN", "REPLAYGAIN_TRACK_PEAK", "REPLAYGAIN_ALBUM_GAIN"}) {
            EXPECT_EQ(value(tags[2][i], name), value(tags[0][i], name)) << name.toStdString();
            EXPECT_EQ(value(tags[4][i], name), value(tags[0][i], name)) << name.toStdString();
        }
        const double rg = gainOf(value(tags[4][i], "REPLAYGAIN_TRACK_GAIN"));
        EXPECT_NEAR(tags[5][i].value("R128_TRACK_GAIN").toInt() / 256.0, rg - 5.0, 0.01);
    }
    // The MP3's ID3v2.4 tag carries what its ID3v1 trailer carries.
    const auto& soft = tags[0][1];
    EXPECT_EQ(soft.value("version"), "2.4");
    EXPECT_EQ(soft.value("TIT2"), "Soft");
    EXPECT_EQ(soft.value("TPE1"), "The Artist");
    EXPECT_EQ(soft.value("TALB"), "The Album");
    EXPECT_EQ(soft.value("TDRC"), "2001");
    EXPECT_EQ(soft.value("TCON"), "Rock");
    EXPECT_EQ(soft.value("TRCK"), "2/3");
    EXPECT_EQ(soft.value("COMM::eng"), "Live");
    EXPECT_EQ(soft.value("v1title"), "Soft");

    // Without ReplayGain the ID3v2.4 tag holds the text alone; with the
    // Id3v2 option off as well, the MP3 has its trailer and no ID3v2 tag.
    AppSettings.ReplayGainUse = false;
    AppSettings.OutputFormat = 0;
    ASSERT_EQ(rip({"02Soft"}).count(Outcome::Done), 1);
    auto plain = tagsOf(out + "/Soft.mp3");
    EXPECT_EQ(plain.value("TRCK"), "2/3");
    EXPECT_TRUE(plain.keys().filter("TXXX").isEmpty()) << plain.keys().join(' ').toStdString();
    AppSettings.Id3v2Use = false;
    ASSERT_EQ(rip({"02Soft"}).count(Outcome::Done), 1);
    plain = tagsOf(out + "/Soft.mp3");
    EXPECT_FALSE(plain.contains("version"));
    EXPECT_EQ(plain.value("v1title"), "Soft");
}

TEST_F(JobReplayGainTest, AStoppedRipKeepsTrackValuesButWritesNoAlbumValues)
{
    openDisc();
    AppSettings.OutputFormat = 4;
    ScopedDialogs scoped(dialogs);
    TJobRunOptions options;
    options.overlap = false;
    view.onStage = [&](const TJobStage& stage) {
        if (stage.word == "Extracting" && stage.number == 3)
            options.cancel.Cancel();
    };
    const TJobSummary s =
        dwtest::runJob(jkRipTracks, handle, {"01A", "02B", "03C"}, TJobConfig::FromSettings(AppSettings), view, options);
    EXPECT_EQ(s.items[1].outcome, Outcome::Done);
    EXPECT_EQ(s.items[2].outcome, Outcome::Stopped);
    for (const QString& name : {"A.flac", "B.flac"}) {
        const auto t = tagsOf(out + "/" + name);
        EXPECT_FALSE(t.value("REPLAYGAIN_TRACK_GAIN").isEmpty()) << name.toStdString();
        EXPECT_FALSE(t.contains("REPLAYGAIN_ALBUM_GAIN")) << name.toStdString();
    }
}

// Conversions measure the PCM they encode (a resampled source through the
// buffer) and write track values only: their files are not one album.
TEST_F(JobReplayGainTest, ConversionsWriteTheTrackValuesOfWhatTheyEncode)
{
    const QString cd = box.file("in/cd.wav"), low = box.file("in/low.wav");
    QDir().mkpath(box.file("in"));
    writeWav(cd, 44100, 2.0, 1.0);
    writeWav(low, 22050, 2.0, 0.25);  // 12 dB softer
    ScopedDialogs scoped(dialogs);
    QMap<QString, QMap<QString, QString>> t;
    for (const TJobKind kind : {jkWavToMp3, jkWavToOgg, jkToFlac, jkToOpus}) {
        SilentView v;
        const TJobSummary s = dwtest::runJob(kind, 0, {cd, low}, TJobConfig::FromSettings(AppSettings), v);
        EXPECT_EQ(s.count(Outcome::Done), 2) << s.items[0].message.toStdString();
    }
    for (const QString& f : QDir(out).entryList(QDir::Files))
        t[f] = tagsOf(out + "/" + f);
    ASSERT_EQ(t.size(), 8) << t.keys().join(' ').toStdString();
    for (auto it = t.begin(); it != t.end(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        const QStringList names = it.value().keys();
        EXPECT_TRUE(names.filter("ALBUM").isEmpty()) << names.join(' ').toStdString();
        const QString gain = it.key().endsWith(".opus") ? "R128_TRACK_GAIN" : "REPLAYGAIN_TRACK_GAIN";
        EXPECT_FALSE(value(it.value(), gain).isEmpty()) << names.join(' ').toStdString();
    }
    // A converted MP3 has no text to carry: its ID3v2.4 tag holds the values.
    EXPECT_EQ(t["cd.mp3"].value("version"), "2.4");
    EXPECT_FALSE(t["cd.mp3"].contains("TIT2"));
    // lame's input was measured beside it, the stream encoders' in their
    // chain: the same PCM, the same values.
    EXPECT_EQ(value(t["cd.mp3"], "REPLAYGAIN_TRACK_GAIN"), value(t["cd.flac"], "REPLAYGAIN_TRACK_GAIN"));
    EXPECT_EQ(value(t["cd.ogg"], "REPLAYGAIN_TRACK_PEAK"), value(t["cd.flac"], "REPLAYGAIN_TRACK_PEAK"));
    const double cdGain = gainOf(value(t["cd.flac"], "REPLAYGAIN_TRACK_GAIN"));
    for (const QString& f : {"low.mp3", "low.ogg", "low.flac"})
        EXPECT_NEAR(gainOf(value(t[f], "REPLAYGAIN_TRACK_GAIN")) - cdGain, 12.04, 0.1) << f.toStdString();
    // FLAC and Opus encode the source at its own rate: the same PCM again.
    EXPECT_NEAR(t["low.opus"].value("R128_TRACK_GAIN").toInt() / 256.0,
                gainOf(value(t["low.flac"], "REPLAYGAIN_TRACK_GAIN")) - 5.0, 0.01);
}

}  // namespace
