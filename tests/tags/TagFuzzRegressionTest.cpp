// Replays every saved input of the tag fuzz target (tests/fuzz/regressions/
// tags/*.hex: hex text, '#' starts a comment) exactly as the target does:
// inputs it found and hand-made hostile tags. A broken property aborts.

#include "fuzz/TagFuzzBody.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cctype>

namespace {

QString regressionDir()
{
    const QString sub = QStringLiteral("tests/fuzz/regressions/tags");
    const QByteArray src = qgetenv("DISCWRIGHT_SOURCE_DIR");
    if (!src.isEmpty())
        return QString::fromLocal8Bit(src) + "/" + sub;
    const QFileInfo self(QStringLiteral(__FILE__));
    if (self.isAbsolute())
        return self.absoluteDir().absoluteFilePath("../fuzz/regressions/tags");
    // A relative source name (ccache's base folder): the source tree is an
    // ancestor of the build tree that holds this executable.
    for (QDir d(QCoreApplication::applicationDirPath()); !d.isRoot(); d.cdUp())
        if (d.exists(sub))
            return d.filePath(sub);
    return sub;
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

TEST(TagFuzzRegressions, EverySavedInputIsHandledSafely)
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
        dwfuzz::feedTags(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    }
}

}  // namespace
