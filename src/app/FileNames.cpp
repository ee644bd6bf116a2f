#include "app/FileNames.h"

#include "app/Helpers.h"
#include "platform/NativePath.h"

#include <algorithm>
#include <set>

namespace dw {

namespace {

bool isControl(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7F;
}

// Removes the last character: a surrogate pair as a whole.
void chopCharacter(QString& s)
{
    if (s.size() >= 2 && s.back().isLowSurrogate() && s.at(s.size() - 2).isHighSurrogate())
        s.chop(2);
    else
        s.chop(1);
}

}  // namespace

QString FitFileStem(const QString& stem, const QString& suffix, int maxBytes)
{
    QString s = stem;
    const int suffixBytes = int(NativePath(suffix).size());
    while (!s.isEmpty() && int(NativePath(s).size()) + suffixBytes > maxBytes)
        chopCharacter(s);
    return s;
}

QString SafeFileStem(const QString& title, int track, int extensionBytes)
{
    const int budget = MaxFileNameBytes - std::max(extensionBytes, FileExtensionBytes);
    QString s;
    const QString stripped = StripFileNameChars(title);
    s.reserve(stripped.size());
    for (QChar c : stripped)
        if (!isControl(c))
            s += c;
    s = s.trimmed();
    qsizetype dots = 0;
    while (dots < s.size() && s.at(dots) == QLatin1Char('.'))
        ++dots;
    s = s.mid(dots).trimmed();
    s = FitFileStem(s, QString(), budget).trimmed();
    if (s.isEmpty())
        s = QStringLiteral("Track") + FormatTwoDigits(track);
    return s;
}

QStringList UniqueFileStems(const std::vector<TTitledTrack>& tracks, int extensionBytes)
{
    const int budget = MaxFileNameBytes - std::max(extensionBytes, FileExtensionBytes);
    QStringList stems;
    std::set<QString> taken;  // case-folded
    for (const TTitledTrack& t : tracks) {
        const QString base = SafeFileStem(t.title, t.track, extensionBytes);
        QString stem = base;
        for (int n = 2; taken.count(stem.toCaseFolded()) != 0; ++n) {
            const QString suffix = QStringLiteral(" (%1)").arg(n);
            stem = FitFileStem(base, suffix, budget) + suffix;
        }
        taken.insert(stem.toCaseFolded());
        stems << stem;
    }
    return stems;
}

}  // namespace dw
