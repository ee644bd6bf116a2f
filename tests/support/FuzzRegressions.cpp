#include "support/FuzzRegressions.h"

#include <QDir>
#include <QFile>

#include <cctype>

namespace dwtest {

namespace {

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

}  // namespace

QList<QPair<QString, QByteArray>> savedFuzzInputs(const QString& subfolder)
{
    // The test main sets DISCWRIGHT_SOURCE_DIR to the source tree.
    QDir dir(QString::fromLocal8Bit(qgetenv("DISCWRIGHT_SOURCE_DIR")) + "/tests/fuzz/regressions");
    if (!subfolder.isEmpty() && !dir.cd(subfolder))
        return {};
    QList<QPair<QString, QByteArray>> inputs;
    for (const QString& name : dir.entryList({"*.hex"}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            inputs.append({name, decodeHex(f.readAll())});
    }
    return inputs;
}

}  // namespace dwtest
