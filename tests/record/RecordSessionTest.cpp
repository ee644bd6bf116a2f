// The recording file policy the recorder window and the command line share,
// over SDL's disk audio driver: a recording kept under its name is exactly
// what was captured with a matching header, an existing file is replaced
// only by a whole recording, and a dropped or refused one leaves no stray
// work file and no changed target.
#include "record/RecordSession.h"
#include "record/RecordTestAudio.h"

#include <gtest/gtest.h>

#include <QDir>

namespace {

using namespace dw;
using dwtest::noiseBytes;
using dwtest::waveData;

const TWaveAudioFormat kMono8k{1, 8000, 16};  // 16000 bytes a second

TEST(RecordSession, KeepsWholeRecordingsOnlyAndDropsTheRest)
{
    dwtest::Sandbox box;
    const QByteArray input = noiseBytes(3 * 16000, 11);
    box.write("in.raw", input);
    dwtest::DiskAudio disk(box.file("in.raw"), "/dev/null");
    box.write("song.wav", "keep me until a whole recording replaces me");

    TWaveAudioDevice device;
    TRecordSession session(device);
    QStringList endings;
    QObject::connect(&session, &TRecordSession::ended, [&](const QString& reason) { endings << reason; });
    QString error;
    const QString work = box.file(".song.wav.recording.wav");
    ASSERT_TRUE(session.Begin(work, kMono8k, &error)) << error.toStdString();
    EXPECT_EQ(box.read(".song.wav.recording.wav").size(), 44);
    ASSERT_TRUE(session.Record(0, 500, &error)) << error.toStdString();
    ASSERT_TRUE(dwtest::waitFor([&] { return !endings.isEmpty(); }, std::chrono::seconds(10)));
    EXPECT_EQ(endings, QStringList{QString()}) << "the limit ends it without a reason";
    EXPECT_EQ(box.read("song.wav"), "keep me until a whole recording replaces me");
    ASSERT_TRUE(session.Finish(&error)) << error.toStdString();
    ASSERT_TRUE(session.KeepAs(box.file("song.wav"), &error)) << error.toStdString();
    EXPECT_EQ(waveData(box.file("song.wav")), input.left(8000));
    EXPECT_FALSE(QFile::exists(work));

    // A recording dropped while it runs leaves the kept file as it was and
    // no work file.
    ASSERT_TRUE(session.Begin(work, kMono8k, &error)) << error.toStdString();
    ASSERT_TRUE(session.Record(0, std::nullopt, &error)) << error.toStdString();
    ASSERT_TRUE(dwtest::waitFor([&] { return device.Length() >= 200; }, std::chrono::seconds(10)));
    session.Discard();
    EXPECT_FALSE(QFile::exists(work));
    EXPECT_EQ(waveData(box.file("song.wav")), input.left(8000));
    EXPECT_EQ(endings.size(), 1) << "a drop is no end by itself";

    // A name that cannot take the file (a folder) is refused; the finished
    // recording stays whole in the work file for another try.
    ASSERT_TRUE(QDir().mkpath(box.file("folder.wav")));
    ASSERT_TRUE(session.Begin(work, kMono8k, &error)) << error.toStdString();
    ASSERT_TRUE(session.Record(0, 250, &error)) << error.toStdString();
    ASSERT_TRUE(dwtest::waitFor([&] { return endings.size() == 2; }, std::chrono::seconds(10)));
    ASSERT_TRUE(session.Finish(&error)) << error.toStdString();
    error.clear();
    EXPECT_FALSE(session.KeepAs(box.file("folder.wav"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(waveData(work), input.left(4000));
    EXPECT_TRUE(QFileInfo(box.file("folder.wav")).isDir());
    session.Discard();
    EXPECT_FALSE(QFile::exists(work));
}

}  // namespace
