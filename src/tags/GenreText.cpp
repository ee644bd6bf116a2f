#include "tags/GenreText.h"

#include "tags/Id3v1Tags.h"

#include <QStringList>

namespace dw {

namespace {

// Whether a text is a genre number: one to three digits.
bool isGenreNumber(const QString& text)
{
    if (text.isEmpty() || text.size() > 3)
        return false;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

// The name of a genre number; the number itself when it is past the list.
QString nameOfNumber(const QString& digits)
{
    const int n = digits.toInt();
    return n < int(Id3v1GenreNames.size()) ? QString::fromLatin1(Id3v1GenreNames[size_t(n)]) : digits;
}

}  // namespace

QString GenreDisplayText(const QString& text)
{
    if (isGenreNumber(text))
        return nameOfNumber(text);
    // A run of "(n)" references, then an optional refining text.
    QStringList names;
    qsizetype pos = 0;
    while (pos < text.size() && text[pos] == QLatin1Char('(')) {
        if (pos + 1 < text.size() && text[pos + 1] == QLatin1Char('('))
            break;  // "((" begins the text itself
        const qsizetype close = text.indexOf(QLatin1Char(')'), pos + 1);
        if (close < 0)
            return text;
        const QString inner = text.mid(pos + 1, close - pos - 1);
        if (inner == QLatin1String("RX"))
            names << QStringLiteral("Remix");
        else if (inner == QLatin1String("CR"))
            names << QStringLiteral("Cover");
        else if (isGenreNumber(inner))
            names << nameOfNumber(inner);
        else
            return text;  // not a reference: plain text in parentheses
        pos = close + 1;
    }
    QString rest = text.mid(pos);
    if (rest.startsWith(QLatin1String("((")))
        rest.remove(0, 1);
    if (pos == 0)
        return rest;
    // A refining text replaces the reference it refines.
    return rest.isEmpty() ? names.join(QStringLiteral(", ")) : rest;
}

}  // namespace dw
