// The ripper-mode rip engine over CD images read through libcdio, with the
// real lame and WM8EUTIL and our own Ogg Vorbis writer; the results are
// judged by peers (mutagen, ogginfo, vorbiscomment, ffprobe).

#include "app/Genres.h"
#include "app/Settings.h"
#include "cd/CDIn.h"
#include "cd/RipperLibrary.h"
#include "jobs/Mp3EncodeProcess.h"
#include "jobs/WMAEncodeProcess.h"
#include "platform/CdDrives.h"
#include "runner/CDRipEngine.h"
#include "support/RecordingJobView.h"
#include "support/CdImages.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <functional>

using namespace dw;
using Outcome = TJobItemResult::Outcome;

using dwtest::peer;

namespace {

constexpr int kSector = 2352;

using dwtest::RecordingView;


class CDRipEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Tones of 3 s, 2 s and 4 s.
        cue = dwtest::makeCdImage(box.path(), {3, 2, 4});
        SetExplicitCdDevices({cue});
        out = box.file("out");
        QDir().mkpath(out);
        ASSERT_TRUE(QFile::link(dwtest::binDir() + "/WM8EUTIL", box.programDir() + "/WM8EUTIL"));
        cdIn = std::make_unique<TCDIn>();
        settings.Rip.OutputFolder = out + "/";
        settings.DiscArtist = "The Artist";
        settings.DiscAlbum = "The Album";
        settings.DiscYear = "1999";
        settings.DiscGenre = FindGenreName("Rock");
        settings.DiscComment = "disc note";
    }
    void TearDown() override
    {
        cdIn.reset();
        SetExplicitCdDevices({});
        CR_DeInit();
    }
    // Runs the job to its end (or until the view's handler stops it).
    void run(const QStringList& items)
    {
        engine = std::make_unique<TCDRipEngine>(*cdIn, settings, view, lame, wma);
        // One worker: the next track is read while one is encoded, and the
        // stop below lands where these cases say on any machine.
        engine->SetEncodeWorkers(1);
        engine->Start(items);
        ASSERT_TRUE(dwtest::waitFor([&] { return view.closed > 0; }, std::chrono::seconds(120)));
        EXPECT_EQ(view.closed, 1);
        EXPECT_TRUE(engine->IsClosed());
    }
    QStringList files() const
    {
        return QDir(out).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    std::vector<Outcome> outcomes() const
    {
        std::vector<Outcome> r;
        for (const TCDRipItem& item : engine->Items())
            r.push_back(item.Result.outcome);
        return r;
    }

    dwtest::Sandbox box;
    QString cue, out;
    std::unique_ptr<TCDIn> cdIn;
    TCDRipSettings settings;
    TMp3EncodeProcess lame;
    TWMAEncodeProcess wma;
    RecordingView view;
    std::unique_ptr<TCDRipEngine> engine;
};

TEST_F(CDRipEngineTest, EveryFormatEndsWithTaggedTracksAndTheWavsKeptOnlyWhenAsked)
{
    const QStringList items{"01Intro", "02Song Two", "03Outro"};
    const QStringList stems{"Intro", "Song Two", "Outro"};

    // MP3: every track tagged with its title and number and the disc's values,
    // whatever the ID3 option says; an ID3v2.4 tag (on by default) says the same.
    settings.OutputFormat = TOutputFormat::Mp3;
    settings.DiscTrackCount = 3;
    run(items);
    EXPECT_EQ(files(), (QStringList{"Intro.mp3", "Outro.mp3", "Song Two.mp3"}));
    EXPECT_EQ(view.captions, (QStringList{"Extracting(01/03): Intro", "Encoding(01/03): Intro",
                                          "Extracting(02/03): Song Two", "Encoding(02/03): Song Two",
                                          "Extracting(03/03): Outro", "Encoding(03/03): Outro"}));
    EXPECT_EQ(outcomes(), std::vector<Outcome>(3, Outcome::Done));
    EXPECT_EQ(engine->Items()[1].Result.outputs, QStringList{out + "/Song Two.mp3"});
    const QString tags = peer("/usr/bin/python3",
                              {"-c",
                               "import sys\nfrom mutagen.id3 import ParseID3v1\n"
                               "t=ParseID3v1(open(sys.argv[1],'rb').read()[-128:])\n"
                               "print('|'.join(str(t[k]) for k in ('TIT2','TPE1','TALB','TDRC','TRCK','TCON')))",
                               out + "/Song Two.mp3"});
    EXPECT_EQ(tags.trimmed(), "Song Two|The Artist|The Album|1999|2|17");  // Rock is ID3v1 genre 17
    const QString v24 = peer("/usr/bin/python3",
                             {"-c",
                              "import sys\nfrom mutagen.id3 import ID3\nt=ID3(sys.argv[1],load_v1=False)\n"
                              "print(t.version[1],'|'.join(str(t[k]) for k in "
                              "('TIT2','TPE1','TALB','TDRC','TRCK','TCON','COMM::eng')))",
                              out + "/Song Two.mp3"});
    EXPECT_EQ(v24.trimmed(), "4 Song Two|The Artist|The Album|1999|2/3|Rock|disc note");
    const QString length = peer("/usr/bin/python3", {"-c",
                                                     "import sys\nfrom mutagen.mp3 import MP3\n"
                                                     "print(round(MP3(sys.argv[1]).info.length))",
                                                     out + "/Outro.mp3"});
    EXPECT_EQ(length.trimmed(), "4");

    // OGG: the Vorbis comments carry the track's and the disc's values (with
    // or without the ID3 option); the WAVs are kept.
    QDir(out).removeRecursively();
    QDir().mkpath(out);
    view = RecordingView();
    settings.OutputFormat = TOutputFormat::Ogg;
    settings.IsKeepWav = true;
    run(items);
    EXPECT_EQ(files(), (QStringList{"Intro.ogg", "Intro.wav", "Outro.ogg", "Outro.wav", "Song Two.ogg",
                                    "Song Two.wav"}));
    EXPECT_FALSE(peer("ogginfo", {out + "/Outro.ogg"}).isEmpty()) << "ogginfo refuses the file";
    const QStringList comments = peer("vorbiscomment", {"-l", out + "/Song Two.ogg"}).split('\n', Qt::SkipEmptyParts);
    EXPECT_TRUE(comments.contains("title=Song Two")) << comments.join(';').toStdString();
    EXPECT_TRUE(comments.contains("artist=The Artist"));
    EXPECT_TRUE(comments.contains("album=The Album"));
    EXPECT_TRUE(comments.contains("date=1999"));
    EXPECT_TRUE(comments.contains(QString("genre=%1").arg(QLatin1String(GenreNames[size_t(settings.DiscGenre)]))))
        << comments.join(';').toStdString();
    EXPECT_TRUE(comments.contains("tracknumber=2"));
    EXPECT_TRUE(comments.contains(QString("tracktotal=%1").arg(settings.DiscTrackCount)))
        << comments.join(';').toStdString();
    EXPECT_TRUE(comments.contains("comment=" + settings.DiscComment)) << comments.join(';').toStdString();
    EXPECT_EQ(engine->Items()[0].Result.outputs, (QStringList{out + "/Intro.ogg", out + "/Intro.wav"}));

    // WMA through the tool, WAVs removed again.
    QDir(out).removeRecursively();
    QDir().mkpath(out);
    view = RecordingView();
    settings.OutputFormat = TOutputFormat::Wma;
    settings.IsKeepWav = false;
    run(items);
    EXPECT_EQ(files(), (QStringList{"Intro.wma", "Outro.wma", "Song Two.wma"}));
    const QString probe = peer("ffprobe", {"-v", "error", "-show_entries", "stream=codec_name,sample_rate",
                                           "-of", "csv=p=0", out + "/Song Two.wma"});
    EXPECT_EQ(probe.trimmed(), "wmav2,44100");

    // WAV: the rip alone, no encoding stage.
    QDir(out).removeRecursively();
    QDir().mkpath(out);
    view = RecordingView();
    settings.OutputFormat = TOutputFormat::Wav;
    run({"02Song Two"});
    EXPECT_EQ(files(), QStringList{"Song Two.wav"});
    EXPECT_EQ(view.captions, QStringList{"Extracting(01/01): Song Two"});
    EXPECT_EQ(QFileInfo(out + "/Song Two.wav").size(), 44 + 2 * 75 * kSector);
}

TEST_F(CDRipEngineTest, AStopWhileEncodingKeepsTheRippedWavAndNoPartialOutput)
{
    // The finished track keeps its track values; a stopped job is no album.
    settings.ReplayGain = true;
    for (const TOutputFormat format : {TOutputFormat::Mp3, TOutputFormat::Ogg}) {  // an encoder process, our own writer
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        view = RecordingView();
        settings.OutputFormat = format;
        view.onStage = [&](const TJobStage& stage) {
            if (stage.word == "Encoding" && stage.number == 2)
                engine->Stop();
        };
        run({"01A", "02B", "03C"});
        const QString ext = format == TOutputFormat::Mp3 ? ".mp3" : ".ogg";
        EXPECT_EQ(files(), (QStringList{"A" + ext, "B.wav"})) << ext.toStdString();
        EXPECT_TRUE(engine->WasStopped());
        EXPECT_EQ(outcomes(), (std::vector<Outcome>{Outcome::Done, Outcome::Stopped, Outcome::Stopped}));
        EXPECT_EQ(engine->Items()[1].Result.outputs, QStringList{out + "/B.wav"});
        ASSERT_EQ(view.finished.size(), 2u);  // the item under way was told; the one never begun was not
        const QString values =
            format == TOutputFormat::Mp3 ? peer("/usr/bin/python3", {"-c",
                                                    "import sys\nfrom mutagen.id3 import ID3\n"
                                                    "print('\\n'.join(f.desc.lower() for f in "
                                                    "ID3(sys.argv[1]).getall('TXXX')))",
                                                    out + "/A.mp3"})
                        : peer("vorbiscomment", {"-l", out + "/A.ogg"});
        // Comment names compare without regard to case.
        EXPECT_TRUE(values.toLower().contains("replaygain_track_gain")) << values.toStdString();
        EXPECT_FALSE(values.toLower().contains("replaygain_album")) << values.toStdString();
    }
}

TEST_F(CDRipEngineTest, ATrackThatCannotBeReadIsReportedOnceNotEncodedAndTheJobGoesOn)
{
    // The image is cut short inside track 2 while the job runs, and whole
    // again when item 4 begins.
    settings.OutputFormat = TOutputFormat::Mp3;
    const QByteArray whole = box.read(QFileInfo(dwtest::binPathOf(cue)).fileName());
    view.onStage = [&](const TJobStage& stage) {
        if (stage.word == "Extracting" && stage.number == 2)
            QFile::resize(dwtest::binPathOf(cue), qint64(225 + 37) * kSector);
        if (stage.word == "Extracting" && stage.number == 4)
            box.write(QFileInfo(dwtest::binPathOf(cue)).fileName(), whole);
    };
    run({"01A", "02B", "03C", "01Again"});
    EXPECT_EQ(outcomes(), (std::vector<Outcome>{Outcome::Done, Outcome::Failed, Outcome::Failed, Outcome::Done}));
    // Each failure is told once, with the component's reason; nothing of it
    // is encoded, and the job goes on to track 1 again.
    ASSERT_EQ(view.finished.size(), 4u);
    EXPECT_EQ(view.finished[1].message, "Error while reading CD information! (The start track out of range)");
    EXPECT_TRUE(view.finished[1].outputs.isEmpty());
    EXPECT_EQ(view.captions.filter("Encoding").size(), 2) << view.captions.join(';').toStdString();
    EXPECT_EQ(files(), (QStringList{"A.mp3", "Again.mp3"}));
}

}  // namespace
