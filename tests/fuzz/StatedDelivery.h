#pragma once
// A saved fuzz input may state in a comment line how many bytes of audio
// the reader delivers for it ("# delivers 4096 bytes"): hand-made inputs
// pin what the reader makes of them, while what the fuzzer found only has
// to be read safely.

#include <QByteArray>
#include <QFile>
#include <QRegularExpression>
#include <QString>

#include <cstdint>
#include <optional>

namespace dwfuzz {

inline std::optional<int64_t> statedDelivery(const QString& subfolder, const QString& name)
{
    QFile f(QString::fromLocal8Bit(qgetenv("DISCWRIGHT_SOURCE_DIR")) + "/tests/fuzz/regressions/" + subfolder + "/" +
            name);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    static const QRegularExpression stated(QStringLiteral("^#.*\\bdelivers (\\d+) bytes\\b"));
    for (const QByteArray& line : f.readAll().split('\n'))
        if (const auto m = stated.match(QString::fromUtf8(line)); m.hasMatch())
            return m.captured(1).toLongLong();
    return std::nullopt;
}

}  // namespace dwfuzz
