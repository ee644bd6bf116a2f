// What a stopped run of each file writer (WAV, Ogg Vorbis, FLAC, Opus)
// leaves: nothing under the final name and an existing file as it was, a new
// one or an append alike. (A run kept on request: the WAV and Ogg Vorbis
// writer tests.)

#include "VorbisTestUtil.h"

#include "audio/formats/FlacOut.h"
#include "audio/formats/OpusOut.h"
#include "audio/formats/VorbisOut.h"
#include "audio/formats/WaveOut.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace dw;
using namespace dwtest;

namespace {

struct Writer {
    const char* name;
    std::function<std::unique_ptr<TAuFileOut>()> make;
};

const Writer kWriters[] = {
    {"wav", [] { return std::make_unique<TWaveOut>(); }},
    {"ogg", [] { return std::make_unique<TVorbisOut>(); }},
    {"flac", [] { return std::make_unique<TFlacOut>(); }},
    {"opus", [] { return std::make_unique<TOpusOut>(); }},
};

// Runs out into path from a 20 s tone and stops it once 4 s were read (the
// input holds further reads until the stop was asked). The run's message.
QString stopMidway(TAuFileOut& out, const QString& path)
{
    const QByteArray pcm = toneBytes(44100 * 20, 2, 44100);
    ScriptedInput held(pcm, 44100, 2, 16, pcm.size());
    held.blockAfter = 44100 * 4 * 4;
    out.SetInput(&held);
    out.SetFileName(path);
    bool done = false;
    out.OnDone = [&](TAuOutput*) { done = true; };
    out.Run();
    EXPECT_TRUE(waitFor([&] { return held.delivered >= held.blockAfter; }));
    out.Stop(true);
    held.gate = true;
    EXPECT_TRUE(waitFor([&] { return done; }));
    out.OnDone = nullptr;
    out.SetInput(nullptr);
    return out.GetExceptionMessage();
}

TEST(StoppedOutput, AStoppedRunLeavesAnExistingFileAsItWasAndNothingNew)
{
    Sandbox box;
    for (const Writer& w : kWriters) {
        const QString ext = QString::fromLatin1(w.name);
        SCOPED_TRACE(w.name);
        box.write("old." + ext, "an older file");
        const std::unique_ptr<TAuFileOut> replacing = w.make();
        EXPECT_EQ(stopMidway(*replacing, box.file("old." + ext)), "");
        EXPECT_EQ(box.read("old." + ext), QByteArray("an older file"));

        const std::unique_ptr<TAuFileOut> fresh = w.make();
        EXPECT_EQ(stopMidway(*fresh, box.file("new." + ext)), "");
        EXPECT_FALSE(QFile::exists(box.file("new." + ext)));

        // The same writer runs to its end afterwards: a stop does not stick.
        EXPECT_EQ(encodeFromMemory(*fresh, box.file("whole." + ext), tonePcm(44100, 2, 44100, 16), 44100, 2, 16), "");
        EXPECT_TRUE(QFile::exists(box.file("whole." + ext)));
        EXPECT_EQ(otherFiles(box.path(), {"old." + ext, "whole." + ext}), QStringList());
        QFile::remove(box.file("whole." + ext));
        QFile::remove(box.file("old." + ext));
    }

    // An append that is stopped cuts the file back to what it was.
    for (const char* name : {"wav", "ogg"}) {
        SCOPED_TRACE(name);
        const QString file = box.file(QStringLiteral("append.") + name);
        std::unique_ptr<TAuFileOut> first =
            name == QByteArray("wav") ? std::unique_ptr<TAuFileOut>(std::make_unique<TWaveOut>())
                                      : std::unique_ptr<TAuFileOut>(std::make_unique<TVorbisOut>());
        ASSERT_EQ(encodeFromMemory(*first, file, tonePcm(44100, 2, 44100, 16), 44100, 2, 16), "");
        const QByteArray before = readAll(file);
        first->SetFileMode(foAppend);
        EXPECT_EQ(stopMidway(*first, file), "");
        EXPECT_TRUE(readAll(file) == before);
        QFile::remove(file);
    }
    EXPECT_EQ(otherFiles(box.path(), {}), QStringList());
}

TEST(StoppedOutput, WhetherTheLastRunPutItsFileInPlaceNeverTellsOfAnEarlierRun)
{
    // An owner that stops a writer asks whether the run ended whole first.
    // A run that fails before it opens its file, and one stopped on its way,
    // must not answer with the whole run before them.
    Sandbox box;
    for (const Writer& w : kWriters) {
        const QString ext = QString::fromLatin1(w.name);
        SCOPED_TRACE(w.name);
        const std::unique_ptr<TAuFileOut> out = w.make();
        ASSERT_EQ(encodeFromMemory(*out, box.file("whole." + ext), tonePcm(44100, 2, 44100, 16), 44100, 2, 16), "");
        EXPECT_TRUE(out->LastRunCommitted());

        EXPECT_NE(encodeFromMemory(*out, QString(), tonePcm(4410, 2, 44100, 16), 44100, 2, 16), "");
        EXPECT_FALSE(out->LastRunCommitted());

        ASSERT_EQ(encodeFromMemory(*out, box.file("whole." + ext), tonePcm(44100, 2, 44100, 16), 44100, 2, 16), "");
        EXPECT_EQ(stopMidway(*out, box.file("cut." + ext)), "");
        EXPECT_FALSE(out->LastRunCommitted());
        EXPECT_EQ(otherFiles(box.path(), {"whole." + ext}), QStringList());
        QFile::remove(box.file("whole." + ext));
    }
}

}  // namespace
