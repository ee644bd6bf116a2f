#include "platform/IniFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace dw {

namespace {

bool sameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

}  // namespace

IniFile::IniFile(QString path) : path_(std::move(path))
{
    QFile f(path_);
    if (!f.open(QIODevice::ReadOnly))
        return;
    if (f.size() > MaxFileSize)
        return;
    const QByteArray bytes = f.read(MaxFileSize);
    loaded_ = true;
    // UTF-8 is the program's encoding; files saved in an 8-bit code page (old
    // language files) are read as Latin-1 rather than turned into replacement characters.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    QStringList rawLines = text.split('\n');
    if (!rawLines.isEmpty() && rawLines.back().isEmpty())
        rawLines.removeLast();  // the final line break does not start a line
    QString current;
    lines_.reserve(rawLines.size());
    for (const QString& raw : rawLines) {
        Line line;
        line.text = raw;
        const QString t = raw.trimmed();
        if (t.startsWith('[')) {
            int close = t.indexOf(']');
            if (close > 0) {
                line.kind = Line::Section;
                line.section = t.mid(1, close - 1).trimmed();
                current = line.section;
            }
        } else if (!t.isEmpty() && !t.startsWith(';')) {
            int eq = t.indexOf('=');
            if (eq > 0) {
                line.kind = Line::Key;
                line.section = current;
                line.key = t.left(eq).trimmed();
                line.value = t.mid(eq + 1).trimmed();
            }
        }
        lines_.push_back(std::move(line));
    }
}

int IniFile::findSection(const QString& section) const
{
    for (size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].kind == Line::Section && sameName(lines_[i].section, section))
            return int(i);
    return -1;
}

int IniFile::sectionEnd(int header) const
{
    int i = header + 1;
    while (i < int(lines_.size()) && lines_[i].kind != Line::Section)
        ++i;
    return i;
}

int IniFile::findKey(const QString& section, const QString& key) const
{
    // Sections may repeat in hand-edited files; the first occurrence of a key wins.
    for (size_t i = 0; i < lines_.size(); ++i) {
        const Line& l = lines_[i];
        if (l.kind == Line::Key && sameName(l.section, section) && sameName(l.key, key))
            return int(i);
    }
    return -1;
}

QString IniFile::readString(const QString& section, const QString& key, const QString& def) const
{
    int i = findKey(section, key);
    if (i < 0)
        return def;
    QString v = lines_[i].value;
    // A value enclosed in matching quotes is given without them.
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return v;
}

bool IniFile::parseInteger(const QString& text, int& value)
{
    QString t = text.trimmed();
    if (t.isEmpty())
        return false;
    bool negative = false;
    if (t.startsWith('-') || t.startsWith('+')) {
        negative = t.startsWith('-');
        t.remove(0, 1);
    }
    int base = 10;
    if (t.startsWith('$')) {
        base = 16;
        t.remove(0, 1);
    } else if (t.startsWith("0x", Qt::CaseInsensitive)) {
        base = 16;
        t.remove(0, 2);
    }
    if (t.isEmpty())
        return false;
    for (QChar c : t) {
        const char16_t u = c.unicode();
        const bool dec = u >= u'0' && u <= u'9';
        const bool hex = dec || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
        const bool digit = base == 10 ? dec : hex;
        if (!digit)
            return false;
    }
    bool ok = false;
    qlonglong v = t.toLongLong(&ok, base);
    if (!ok)
        return false;
    if (negative)
        v = -v;
    if (base == 16 && v > 0x7FFFFFFFLL && v <= 0xFFFFFFFFLL)
        v = qint32(quint32(v));  // hex texts cover the whole 32-bit pattern
    if (v < INT32_MIN || v > INT32_MAX)
        return false;
    value = int(v);
    return true;
}

int IniFile::readInteger(const QString& section, const QString& key, int def) const
{
    int v = def;
    if (!parseInteger(readString(section, key, QString()), v))
        return def;
    return v;
}

bool IniFile::readBool(const QString& section, const QString& key, bool def) const
{
    return readInteger(section, key, def ? 1 : 0) != 0;
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value)
{
    // Values are single lines; a line break would split the entry.
    QString v = value;
    v.replace('\r', ' ').replace('\n', ' ');
    int i = findKey(section, key);
    if (i >= 0) {
        Line& l = lines_[i];
        l.value = v;
        l.text = l.key + "=" + v;
        return;
    }
    Line line;
    line.kind = Line::Key;
    line.section = section;
    line.key = key;
    line.value = v;
    line.text = key + "=" + v;
    int header = findSection(section);
    if (header < 0) {
        Line head;
        head.kind = Line::Section;
        head.section = section;
        head.text = "[" + section + "]";
        lines_.push_back(std::move(head));
        lines_.push_back(std::move(line));
        return;
    }
    // After the section's last key, before any trailing blank lines.
    int end = sectionEnd(header);
    int at = end;
    while (at > header + 1 && lines_[at - 1].kind == Line::Other && lines_[at - 1].text.trimmed().isEmpty())
        --at;
    lines_.insert(lines_.begin() + at, std::move(line));
}

void IniFile::writeInteger(const QString& section, const QString& key, int value)
{
    writeString(section, key, QString::number(value));
}

void IniFile::writeBool(const QString& section, const QString& key, bool value)
{
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool IniFile::hasSection(const QString& section) const { return findSection(section) >= 0; }

bool IniFile::hasKey(const QString& section, const QString& key) const { return findKey(section, key) >= 0; }

QStringList IniFile::sections() const
{
    QStringList out;
    for (const Line& l : lines_)
        if (l.kind == Line::Section && !out.contains(l.section, Qt::CaseInsensitive))
            out << l.section;
    return out;
}

QStringList IniFile::keys(const QString& section) const
{
    QStringList out;
    for (const Line& l : lines_)
        if (l.kind == Line::Key && sameName(l.section, section) && !out.contains(l.key, Qt::CaseInsensitive))
            out << l.key;
    return out;
}

void IniFile::eraseSection(const QString& section)
{
    std::vector<Line> kept;
    kept.reserve(lines_.size());
    bool inside = false;
    for (Line& l : lines_) {
        if (l.kind == Line::Section)
            inside = sameName(l.section, section);
        if (!inside)
            kept.push_back(std::move(l));
    }
    lines_ = std::move(kept);
}

void IniFile::deleteKey(const QString& section, const QString& key)
{
    int i;
    while ((i = findKey(section, key)) >= 0)
        lines_.erase(lines_.begin() + i);
}

bool IniFile::save()
{
    error_.clear();
    QByteArray bytes;
    for (const Line& l : lines_) {
        bytes += l.text.toUtf8();
        bytes += '\n';
    }
    QSaveFile f(path_);
    if (!f.open(QIODevice::WriteOnly)) {
        error_ = f.errorString();
        return false;
    }
    if (f.write(bytes) != bytes.size()) {
        error_ = f.errorString();
        f.cancelWriting();
        return false;
    }
    if (!f.commit()) {
        error_ = f.errorString();
        return false;
    }
    loaded_ = true;
    return true;
}

}  // namespace dw
