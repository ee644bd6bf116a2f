// Replays every saved input of the Ogg Vorbis reader's fuzz target
// (tests/fuzz/regressions/ogg/*.hex: hex text, '#' starts a comment)
// exactly as the target does: hand-made hostile headers and what the
// fuzzer found.

#include "fuzz/VorbisFuzzBody.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QString regressionDir()
{
    const QByteArray src = qgetenv("DISCWRIGHT_SOURCE_DIR");
    if (!src.isEmpty())
        return QString::fromLocal8Bit(src) + "/tests/fuzz/regressions/ogg";
    return QFileInfo(QStringLiteral(__FILE__)).absoluteDir().absoluteFilePath("../../fuzz/regressions/ogg");
}

QByteArray decodeHex(const QByteArray& text)
{
    QByteArray digits;
    for (const QByteArray& line : text.split('\n')) {
        const int hash = line.indexOf('#');
        for (char c : hash >= 0 ? line.left(hash) : line)
            if (std::isxdigit(static_cast<unsigned char>(c)))
                digits += c;
    }
    return QByteArray::fromHex(digits);
}

TEST(VorbisFuzzRegressions, EverySavedInputIsReadSafely)
{
    QDir dir(regressionDir());
    ASSERT_TRUE(dir.exists()) << dir.path().toStdString();
    const QStringList files = dir.entryList({"*.hex"}, QDir::Files, QDir::Name);
    EXPECT_FALSE(files.isEmpty());
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = decodeHex(f.readAll());
        ASSERT_FALSE(bytes.isEmpty());
        // None of them holds audio worth the name: a few packets at most.
        EXPECT_LT(dwfuzz::feedVorbisReader(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                           static_cast<size_t>(bytes.size())),
                  int64_t(1) << 24);
    }
}

}  // namespace
