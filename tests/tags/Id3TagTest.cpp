// Tid3tag on real files: where the trailer goes, the field layout, the
// status words, write-protected files and failed writes that must leave the
// file as it was.

#include "platform/NativePath.h"
#include "tags/Id3Tag.h"
#include "tags/Id3v1Tags.h"
#include "TagFiles.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace dw;
using tagtest::audioBytes;
using tagtest::trailer;

TEST(Id3Tag, ShortFilesHoldNoTagAndGetOneAppended)
{
    dwtest::Sandbox box;
    const QString f = box.file("short.mp3");
    const QByteArray audio = audioBytes(127);
    box.write("short.mp3", audio);
    Tid3tag tag;
    EXPECT_EQ(tag.ReadTag(f), Tid3tag::ErrNoTag);
    EXPECT_EQ(tag.FileName(), f);
    tag.RemoveTag();
    EXPECT_EQ(box.read("short.mp3"), audio);

    tag.SetTitle("T");
    EXPECT_EQ(tag.SaveTag("="), Tid3tag::Done);
    const QByteArray bytes = box.read("short.mp3");
    ASSERT_EQ(bytes.size(), 255);
    EXPECT_EQ(bytes.left(127), audio);
    EXPECT_EQ(bytes.mid(127, 4), QByteArray("TAGT"));

    // A file with no tag whose end happens to be 128 bytes of audio.
    box.write("plain.mp3", audioBytes(4000));
    EXPECT_EQ(tag.ReadTag(box.file("plain.mp3")), Tid3tag::ErrNoTag);
    EXPECT_EQ(tag.Title(), "T");  // unchanged
    EXPECT_EQ(tag.SaveTag(box.file("plain.mp3")), Tid3tag::Done);
    EXPECT_EQ(box.read("plain.mp3").size(), 4128);
}

TEST(Id3Tag, AnExistingTrailerIsReplacedAndRemovedExactly)
{
    dwtest::Sandbox box;
    const QByteArray audio = audioBytes(1000);
    box.write("a.mp3", audio + trailer("Old", "", "", "", "", 1));
    Tid3tag tag;
    ASSERT_EQ(tag.ReadTag(box.file("a.mp3")), Tid3tag::Done);
    EXPECT_EQ(tag.Title(), "Old");
    tag.SetTitle("New");
    ASSERT_EQ(tag.SaveTag("="), Tid3tag::Done);
    QByteArray bytes = box.read("a.mp3");
    ASSERT_EQ(bytes.size(), 1128);
    EXPECT_EQ(bytes.left(1000), audio);
    EXPECT_EQ(bytes.mid(1000, 8), QByteArray("TAGNew\0\0", 8));
    EXPECT_EQ(uint8_t(bytes[1127]), 1);

    tag.RemoveTag();
    EXPECT_EQ(box.read("a.mp3"), audio);
    // Nothing more is cut from a file without a tag.
    tag.RemoveTag();
    EXPECT_EQ(box.read("a.mp3"), audio);
}

TEST(Id3Tag, FieldsAreCutPaddedAndTrimmed)
{
    dwtest::Sandbox box;
    box.write("f.mp3", audioBytes(300));
    Tid3tag tag;
    const QString thirty = "123456789012345678901234567890";
    tag.SetTitle(thirty + "overflow");
    EXPECT_EQ(tag.Title(), thirty);
    tag.SetArtist(thirty);
    tag.SetAlbum(QString::fromUtf8("Caf\xc3\xa9 \xe2\x82\xac"));  // é fits ISO-8859-1, € does not
    tag.SetYear("19999");
    EXPECT_EQ(tag.Year(), "1999");
    tag.SetComment("c");
    tag.SetGenre(17);
    tag.SetTrack(12);
    ASSERT_EQ(tag.SaveTag(box.file("f.mp3")), Tid3tag::Done);
    const QByteArray t = box.read("f.mp3").right(128);
    EXPECT_EQ(t.mid(3, 30), thirty.toLatin1());  // no padding when full
    EXPECT_EQ(t.mid(33, 30), thirty.toLatin1());
    EXPECT_EQ(t.mid(63, 6), QByteArray("Caf\xe9 ?"));
    EXPECT_EQ(t.mid(69, 24), QByteArray(24, '\0'));
    EXPECT_EQ(t.mid(93, 4), QByteArray("1999"));
    EXPECT_EQ(t.mid(97, 28), QByteArray("c") + QByteArray(27, '\0'));
    EXPECT_EQ(uint8_t(t[125]), 0);
    EXPECT_EQ(uint8_t(t[126]), 12);
    EXPECT_EQ(uint8_t(t[127]), 17);

    Tid3tag back;
    ASSERT_EQ(back.ReadTag(box.file("f.mp3")), Tid3tag::Done);
    EXPECT_EQ(back.Album(), QString::fromUtf8("Caf\xc3\xa9 ?"));
    EXPECT_TRUE(back.HasTrack());
    EXPECT_EQ(back.Track(), 12);

    // SetTrack(0): the 30-byte comment form.
    tag.SetComment(thirty);
    tag.SetTrack(0);
    ASSERT_EQ(tag.SaveTag("="), Tid3tag::Done);
    EXPECT_EQ(box.read("f.mp3").right(128).mid(97, 30), thirty.toLatin1());
    EXPECT_EQ(box.read("f.mp3").size(), 428);
}

TEST(Id3Tag, TrackMarkerGenreWarningAndTrimming)
{
    dwtest::Sandbox box;
    const QByteArray comment28 = "abcdefghijklmnopqrstuvwxyz12";
    QByteArray t = trailer("Title \xff\xff  ", QByteArray("Art\0junk", 8), "", "  99", comment28, 200);
    t[125] = 0;
    t[126] = 7;
    box.write("t.mp3", audioBytes(200) + t);
    Tid3tag tag;
    EXPECT_EQ(tag.ReadTag(box.file("t.mp3")), Tid3tag::WarnGenre);
    EXPECT_TRUE(Tid3tag::Succeeded(Tid3tag::WarnGenre));
    EXPECT_EQ(tag.Title(), "Title");
    EXPECT_EQ(tag.Artist(), "Art");  // what follows a zero byte is not text
    EXPECT_EQ(tag.Year(), "  99");   // leading blanks stay
    EXPECT_TRUE(tag.HasTrack());
    EXPECT_EQ(tag.Track(), 7);
    EXPECT_EQ(tag.Comment(), comment28);
    EXPECT_EQ(tag.Genre(), 200);

    // 0x20 at 125: a 30-byte comment and no track.
    t[125] = 0x20;
    t[127] = char(255);
    box.write("t.mp3", audioBytes(200) + t);
    EXPECT_EQ(tag.ReadTag(box.file("t.mp3")), Tid3tag::Done);
    EXPECT_FALSE(tag.HasTrack());
    EXPECT_EQ(tag.Track(), 0);
    EXPECT_EQ(tag.Comment(), comment28 + " \x07");
}

TEST(Id3Tag, ErrorsNameTheFileAndTheReason)
{
    dwtest::Sandbox box;
    Tid3tag tag;
    EXPECT_EQ(tag.ReadTag(box.file("missing.mp3")), Tid3tag::ErrOpen);
    EXPECT_TRUE(tag.ErrorText().startsWith(box.file("missing.mp3") + ": ")) << tag.ErrorText().toStdString();
    EXPECT_TRUE(tag.ErrorText().contains("No such file"));
    EXPECT_EQ(tag.SaveTag(box.file("missing.mp3")), Tid3tag::ErrOpen);
    EXPECT_FALSE(PathExists(box.file("missing.mp3")));
    EXPECT_EQ(tag.ReadTag(box.path()), Tid3tag::ErrOpen);

    // Write-protected: read works, saving is refused, removing does nothing.
    const QByteArray before = audioBytes(500) + trailer("Keep", "", "", "", "", 3);
    box.write("ro.mp3", before);
    ASSERT_EQ(::chmod(box.file("ro.mp3").toLocal8Bit().constData(), 0444), 0);
    EXPECT_EQ(tag.ReadTag(box.file("ro.mp3")), Tid3tag::Done);
    EXPECT_TRUE(tag.ReadOnly());
    tag.SetTitle("Changed");
    EXPECT_EQ(tag.SaveTag("="), Tid3tag::ErrReadOnly);
    EXPECT_TRUE(tag.ErrorText().startsWith(box.file("ro.mp3") + ": "));
    tag.RemoveTag();
    EXPECT_EQ(box.read("ro.mp3"), before);

    // Another format is never given a trailer nor cut, whatever its name,
    // even when its last 128 bytes begin with "TAG".
    const QByteArray flac = QByteArray("fLaC") + QByteArray(600, '\x11') + trailer("Not", "ours", "", "", "", 1);
    box.write("flac.mp3", flac);
    tag.SetTitle("Changed");
    EXPECT_EQ(tag.SaveTag(box.file("flac.mp3")), Tid3tag::ErrNotMp3);
    EXPECT_TRUE(tag.ErrorText().startsWith(box.file("flac.mp3") + ": ")) << tag.ErrorText().toStdString();
    EXPECT_EQ(tag.ReadTag(box.file("flac.mp3")), Tid3tag::Done);
    EXPECT_EQ(tag.RemoveTagStatus(), Tid3tag::ErrNotMp3);
    EXPECT_EQ(box.read("flac.mp3"), flac);
}

namespace {

// Limits the size of files this process may write (as a full disk would),
// for the lifetime of the object.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit r = old_;
        r.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &r);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

}  // namespace

TEST(Id3Tag, AFailedAppendLeavesTheFileAsItWas)
{
    dwtest::Sandbox box;
    const QByteArray audio = audioBytes(5000);
    box.write("full.mp3", audio);
    Tid3tag tag;
    tag.SetTitle("Never");
    uint16_t status;
    {
        // Room for 50 of the 128 bytes: the write stops part-way.
        FileSizeLimit limit(5050);
        status = tag.SaveTag(box.file("full.mp3"));
    }
    EXPECT_EQ(status, Tid3tag::ErrWrite);
    EXPECT_TRUE(tag.ErrorText().contains("File too large")) << tag.ErrorText().toStdString();
    EXPECT_EQ(box.read("full.mp3"), audio);
    EXPECT_EQ(tag.FileName(), "");  // not saved

    // The container's append is undone the same way.
    TId3v1Tags v1;
    v1.SetTitle("Never");
    tagtest::Fd fd(box.file("full.mp3"), O_RDWR);
    bool written;
    {
        FileSizeLimit limit(5001);
        written = v1.WriteToFile(fd.get(), false);
    }
    EXPECT_FALSE(written);
    EXPECT_EQ(box.read("full.mp3"), audio);
}

TEST(Id3v1Container, ReadsAndAppendsTheTrailer)
{
    dwtest::Sandbox box;
    QByteArray t = trailer(" \tPadded Title  ", "Artist", "Album", " 99", "", 5);
    t.replace(97, 4, "note");
    t[125] = 0x20;
    t[126] = 9;  // 0x20 with a non-blank track byte: the track form
    box.write("c.mp3", audioBytes(600) + t);
    tagtest::Fd fd(box.file("c.mp3"), O_RDWR);
    TId3v1Tags v1;
    ::lseek(fd.get(), 17, SEEK_SET);
    EXPECT_TRUE(v1.CheckFile(fd.get()));
    EXPECT_EQ(::lseek(fd.get(), 0, SEEK_CUR), 17);
    ASSERT_TRUE(v1.ReadFromFile(fd.get()));
    EXPECT_EQ(v1.Title(), "Padded Title");
    EXPECT_EQ(v1.Artist(), "Artist");
    EXPECT_EQ(v1.Year(), 99);
    EXPECT_EQ(v1.Comment(), "note");
    EXPECT_EQ(v1.Track(), 9);
    EXPECT_EQ(v1.Genre(), "Funk");

    // Appended after whatever is there; read back the same.
    v1.SetTitle(QString::fromUtf8("\xc3\x86on").toUtf8());
    v1.SetTrack(0);
    v1.SetComment(QByteArray(40, 'c'));
    ASSERT_TRUE(v1.WriteToFile(fd.get(), false));
    const QByteArray bytes = box.read("c.mp3");
    ASSERT_EQ(bytes.size(), 600 + 256);
    EXPECT_EQ(bytes.mid(600, 128), t);
    const QByteArray w = bytes.right(128);
    EXPECT_EQ(w.mid(0, 6), QByteArray("TAG\xc6on"));
    EXPECT_EQ(w.mid(97, 30), QByteArray(30, 'c'));
    EXPECT_EQ(w.mid(93, 4), QByteArray("99\0\0", 4));
    TId3v1Tags back;
    ASSERT_TRUE(back.ReadFromFile(fd.get()));
    EXPECT_EQ(back.Title(), v1.Title());
    EXPECT_EQ(back.Track(), 0);
    EXPECT_EQ(back.Comment(), QByteArray(30, 'c'));

    // A year is kept as the trailer writes it: "0000" is read and written back
    // as "0000", not as a missing year.
    box.write("zero.mp3", audioBytes(300) + trailer("Zero", "", "", "0000", "", 5));
    tagtest::Fd zero(box.file("zero.mp3"), O_RDWR);
    TId3v1Tags z;
    ASSERT_TRUE(z.ReadFromFile(zero.get()));
    EXPECT_EQ(z.YearText(), "0000");
    EXPECT_EQ(z.Year(), 0);
    ASSERT_TRUE(z.WriteToFile(zero.get(), false));
    EXPECT_EQ(box.read("zero.mp3").right(128).mid(93, 4), QByteArray("0000"));

    // No year is an empty field, not "0"; no trailer and invalid handles are false.
    TId3v1Tags empty;
    ASSERT_TRUE(empty.WriteToFile(fd.get(), false));
    EXPECT_EQ(box.read("c.mp3").right(128).mid(93, 4), QByteArray(4, '\0'));
    box.write("none.mp3", audioBytes(127));
    tagtest::Fd none(box.file("none.mp3"), O_RDONLY);
    EXPECT_FALSE(empty.CheckFile(none.get()));
    EXPECT_FALSE(empty.ReadFromFile(none.get()));
    EXPECT_FALSE(empty.ReadFromFile(-1));
    EXPECT_FALSE(empty.WriteToFile(-1, false));
}
