// Replays every saved input (tests/fuzz/regressions/*.hex: hex text, '#'
// starts a comment) through the WAV reader exactly as the fuzz target does:
// inputs the fuzzer found and hand-made hostile files (sizes past the end,
// ADPCM blocks smaller than their headers, predictors out of range, ...).

#include "fuzz/WaveFuzzBody.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QString regressionDir()
{
    const QByteArray src = qgetenv("DISCWRIGHT_SOURCE_DIR");
    if (!src.isEmpty())
        return QString::fromLocal8Bit(src) + "/tests/fuzz/regressions";
    // This file lives in tests/audio/formats. __FILE__ may be relative to the
    // build folder (a compiler cache rewrites it), so look upwards from the
    // program's folder as well.
    const QString here = QFileInfo(QStringLiteral(__FILE__)).absoluteDir().absoluteFilePath("../../fuzz/regressions");
    if (QFileInfo(here).isDir())
        return here;
    QDir dir(QCoreApplication::applicationDirPath());
    for (int up = 0; up < 8; ++up) {
        if (dir.exists("tests/fuzz/regressions"))
            return dir.absoluteFilePath("tests/fuzz/regressions");
        if (dir.exists("../tests/fuzz/regressions") && QFileInfo(dir.absoluteFilePath("../tests/fuzz")).isDir())
            return QDir(dir.absoluteFilePath("../tests/fuzz/regressions")).absolutePath();
        if (!dir.cdUp())
            break;
    }
    return here;
}

QByteArray decodeHex(const QByteArray& text)
{
    QByteArray digits;
    for (const QByteArray& line : text.split('\n')) {
        const int hash = line.indexOf('#');
        const QByteArray code = hash >= 0 ? line.left(hash) : line;
        for (char c : code)
            if (std::isxdigit(static_cast<unsigned char>(c)))
                digits += c;
    }
    return QByteArray::fromHex(digits);
}

TEST(WaveFuzzRegressions, EverySavedInputIsReadSafely)
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
        dwfuzz::feedWaveReader(reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size()));
    }
}

}  // namespace
