#include "platform/IniFile.h"

#include "platform/FdIo.h"

#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileLock.h"
#include "platform/NativePath.h"
#include "platform/OutputFile.h"

namespace dw {

namespace {

// Closes a descriptor when it goes out of scope.
class FdCloser {
public:
    explicit FdCloser(int fd) : fd_(fd) {}
    ~FdCloser()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;

private:
    int fd_;
};

QString lower(const QString& s) { return s.toCaseFolded(); }

bool sameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

QString decodeLine(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return QString::fromLatin1(bytes);
    return text;
}

// Whether the line is a "[name]" header; name then holds the name.
bool headerName(const QByteArray& raw, QString& name)
{
    const QByteArray t = raw.trimmed();
    if (!t.startsWith('['))
        return false;
    const int close = int(t.indexOf(']'));
    if (close <= 0)
        return false;
    name = decodeLine(QByteArrayView(t).sliced(1, close - 1)).trimmed();
    return true;
}

// Position of the '=' of a key line, or -1: comments, blank lines and lines
// whose text before the '=' is blank are no key lines.
int keyEquals(const QByteArray& raw)
{
    const QByteArray t = raw.trimmed();
    if (t.isEmpty() || t.startsWith(';'))
        return -1;
    const int eq = int(raw.indexOf('='));
    if (eq < 0 || raw.left(eq).trimmed().isEmpty())
        return -1;
    return eq;
}

QByteArray singleLine(const QString& value)
{
    // Values are single lines; a line break would split the entry.
    QString v = value;
    v.replace('\r', ' ').replace('\n', ' ');
    return v.toUtf8();
}

}  // namespace

IniFile::IniFile(QString path) : path_(std::move(path))
{
    const QByteArray native = NativePath(path_);
    // O_NONBLOCK keeps a FIFO at the path from blocking the open; regular files ignore it.
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            refused_ = true;
            error_ = path_ + QStringLiteral(": ") + SystemReason(errno);
        }
        return;
    }
    FdCloser closer(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        refused_ = true;
        error_ = path_ + QStringLiteral(": ") + SystemReason(errno);
        return;
    }
    if (!S_ISREG(st.st_mode)) {
        refused_ = true;
        error_ = path_ + QStringLiteral(": ") +
                 (S_ISDIR(st.st_mode) ? SystemReason(EISDIR) : QStringLiteral("not a regular file"));
        return;
    }
    const auto tooLarge = [this] {
        refused_ = true;
        error_ = path_ + QStringLiteral(": the file is larger than %1 MiB, more than the program reads; it is left unchanged")
                             .arg(MaxFileSize / (1024 * 1024));
    };
    if (st.st_size > MaxFileSize) {
        tooLarge();
        return;
    }
    mode_ = unsigned(st.st_mode & 07777);

    QByteArray bytes;
    bytes.reserve(qsizetype(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            refused_ = true;
            error_ = path_ + QStringLiteral(": ") + SystemReason(errno);
            return;
        }
        if (n == 0)
            break;
        if (bytes.size() + n > MaxFileSize) {  // the file grew while being read
            tooLarge();
            return;
        }
        bytes.append(buffer, n);
    }
    if (!parse(bytes)) {
        sections_.clear();
        index_.clear();
        refused_ = true;
        error_ = path_ + QStringLiteral(": the file has more than %1 lines, more than the program reads; it is left unchanged")
                             .arg(MaxLines);
        return;
    }
    loaded_ = true;
}

bool IniFile::parse(const QByteArray& input)
{
    QByteArrayView bytes(input);
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        bom_ = true;
        bytes = bytes.sliced(3);
    }
    Section current;
    qsizetype pos = 0;
    const qsizetype size = bytes.size();
    qint64 count = 0;
    while (pos < size) {
        if (++count > MaxLines)
            return false;
        // A line ends at "\r\n", "\n" or "\r".
        qsizetype end = pos;
        while (end < size && bytes[end] != '\n' && bytes[end] != '\r')
            ++end;
        Line line;
        line.raw = bytes.sliced(pos, end - pos).toByteArray();
        if (end < size && bytes[end] == '\r' && end + 1 < size && bytes[end + 1] == '\n')
            ++end;
        pos = end + 1;

        QString name;
        if (headerName(line.raw, name)) {
            addSection(std::move(current));
            current = Section();
            current.name = name;
            current.hasHeader = true;
            current.header = std::move(line.raw);
            continue;
        }
        line.eq = keyEquals(line.raw);
        current.lines.push_back(std::move(line));
    }
    addSection(std::move(current));
    return true;
}

void IniFile::addSection(Section section)
{
    if (!section.hasHeader && section.lines.empty())
        return;
    if (section.hasHeader)
        index_[lower(section.name)].push_back(int(sections_.size()));
    sections_.push_back(std::move(section));
}

void IniFile::rebuildIndex()
{
    index_.clear();
    for (size_t i = 0; i < sections_.size(); ++i)
        if (sections_[i].hasHeader)
            index_[lower(sections_[i].name)].push_back(int(i));
}

const std::vector<int>* IniFile::sectionsNamed(const QString& name) const
{
    const auto it = index_.constFind(lower(name));
    return it == index_.constEnd() ? nullptr : &it.value();
}

QString IniFile::keyOf(const Line& line) { return decodeLine(QByteArrayView(line.raw).first(line.eq)).trimmed(); }

QString IniFile::valueOf(const Line& line) { return decodeLine(QByteArrayView(line.raw).sliced(line.eq + 1)).trimmed(); }

IniFile::Found IniFile::findKey(const QString& section, const QString& key) const
{
    // Sections may repeat in hand-edited files; the first occurrence of a key wins.
    const std::vector<int>* named = sectionsNamed(section);
    if (!named)
        return {};
    for (int s : *named) {
        const std::vector<Line>& lines = sections_[size_t(s)].lines;
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i].eq >= 0 && sameName(keyOf(lines[i]), key))
                return {s, int(i)};
    }
    return {};
}

QString IniFile::readString(const QString& section, const QString& key, const QString& def) const
{
    const Found f = findKey(section, key);
    if (f.section < 0)
        return def;
    QString v = valueOf(sections_[size_t(f.section)].lines[size_t(f.line)]);
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
    const QByteArray v = singleLine(value);
    const Found f = findKey(section, key);
    if (f.section >= 0) {
        Line& l = sections_[size_t(f.section)].lines[size_t(f.line)];
        QByteArray name = l.raw.left(l.eq).trimmed();
        l.raw = name + '=' + v;
        l.eq = int(name.size());
        return;
    }
    Line line;
    line.raw = key.toUtf8() + '=' + v;
    line.eq = int(key.toUtf8().size());
    const std::vector<int>* named = sectionsNamed(section);
    if (!named) {
        Section s;
        s.name = section;
        s.hasHeader = true;
        s.header = '[' + section.toUtf8() + ']';
        s.lines.push_back(std::move(line));
        addSection(std::move(s));
        return;
    }
    // After the section's last line, before any trailing blank lines.
    std::vector<Line>& lines = sections_[size_t(named->front())].lines;
    size_t at = lines.size();
    while (at > 0 && lines[at - 1].eq < 0 && lines[at - 1].raw.trimmed().isEmpty())
        --at;
    lines.insert(lines.begin() + qsizetype(at), std::move(line));
}

void IniFile::writeInteger(const QString& section, const QString& key, int value)
{
    writeString(section, key, QString::number(value));
}

void IniFile::writeBool(const QString& section, const QString& key, bool value)
{
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool IniFile::hasSection(const QString& section) const { return sectionsNamed(section) != nullptr; }

bool IniFile::hasKey(const QString& section, const QString& key) const { return findKey(section, key).section >= 0; }

QStringList IniFile::sections() const
{
    QStringList out;
    for (const Section& s : sections_)
        if (s.hasHeader && sectionsNamed(s.name)->front() == int(&s - sections_.data()))
            out << s.name;
    return out;
}

QStringList IniFile::keys(const QString& section) const
{
    QStringList out;
    const std::vector<int>* named = sectionsNamed(section);
    if (!named)
        return out;
    for (int s : *named)
        for (const Line& l : sections_[size_t(s)].lines)
            if (l.eq >= 0) {
                const QString k = keyOf(l);
                if (!out.contains(k, Qt::CaseInsensitive))
                    out << k;
            }
    return out;
}

void IniFile::eraseSection(const QString& section)
{
    if (!sectionsNamed(section))
        return;
    std::erase_if(sections_, [&](const Section& s) { return s.hasHeader && sameName(s.name, section); });
    rebuildIndex();
}

void IniFile::deleteKey(const QString& section, const QString& key)
{
    const std::vector<int>* named = sectionsNamed(section);
    if (!named)
        return;
    for (int s : *named)
        std::erase_if(sections_[size_t(s)].lines, [&](const Line& l) { return l.eq >= 0 && sameName(keyOf(l), key); });
}

namespace {

// True when path is a regular file holding exactly bytes (read back, not
// trusted from an earlier load: another process may have written since).
bool holdsExactly(const QString& path, const QByteArray& bytes)
{
    UniqueFd fd = OpenReadOnly(path);
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != bytes.size())
        return false;
    QByteArray current(bytes.size() + 1, Qt::Uninitialized);  // one more: a file that grew is seen
    return ReadFull(fd.get(), current.data(), size_t(current.size())) == bytes.size() &&
           std::memcmp(current.constData(), bytes.constData(), size_t(bytes.size())) == 0;
}

}  // namespace

bool IniFile::save()
{
    if (refused_)
        return false;  // error_ still tells why the file was not read
    error_.clear();
    QByteArray bytes;
    if (bom_)
        bytes += "\xEF\xBB\xBF";
    for (const Section& s : sections_) {
        if (s.hasHeader)
            bytes += s.header + '\n';
        for (const Line& l : s.lines)
            bytes += l.raw + '\n';
    }
    // A file that already holds these bytes is left as it is: closing the
    // program then neither rewrites nor flushes its unchanged settings.
    if (holdsExactly(path_, bytes)) {
        loaded_ = true;
        return true;
    }
    TOutputFile out(path_);
    if (!out.Create()) {
        error_ = out.Error();
        return false;
    }
    // A file kept private by its owner stays private.
    if (loaded_ && mode_ != 0)
        ::fchmod(out.Fd(), mode_);
    if (!WriteFull(out.Fd(), bytes.constData(), size_t(bytes.size()))) {
        error_ = path_ + QStringLiteral(": ") + SystemReason(errno);
        return false;
    }
    if (!out.Commit()) {
        error_ = out.Error();
        return false;
    }
    loaded_ = true;
    return true;
}

bool IniFile::Update(const QString& path, const std::function<void(IniFile&)>& change, QString* error)
{
    TFileLock lock(path);
    IniFile ini(path);
    if (!ini.refused()) {
        change(ini);
        if (ini.save())
            return true;
    }
    if (error)
        *error = ini.errorString();
    return false;
}

}  // namespace dw
