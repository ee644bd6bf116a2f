#pragma once
// INI files as the program's settings, language files and disc cache use them:
// "[Section]" lines open a section, "Key=Value" lines hold values. Section and
// key names compare without regard to case. A missing file, section or key
// gives the caller's default, as does an integer value that does not parse.
// Writing changes the value in place (or appends it to its section, or appends
// the section) and keeps every other line and its order. save() replaces the
// file atomically: a temporary file beside it is written and renamed over it.

#include <QString>
#include <QStringList>

#include <vector>

namespace dw {

class IniFile {
public:
    // Reads the file; a missing, unreadable or oversized file gives an empty one.
    explicit IniFile(QString path);

    const QString& path() const { return path_; }
    bool loaded() const { return loaded_; }  // true when the file existed and was read

    QString readString(const QString& section, const QString& key, const QString& def) const;
    int readInteger(const QString& section, const QString& key, int def) const;
    bool readBool(const QString& section, const QString& key, bool def) const;  // non-zero integer = true

    void writeString(const QString& section, const QString& key, const QString& value);
    void writeInteger(const QString& section, const QString& key, int value);
    void writeBool(const QString& section, const QString& key, bool value);  // "1" / "0"

    bool hasSection(const QString& section) const;
    bool hasKey(const QString& section, const QString& key) const;
    QStringList sections() const;
    QStringList keys(const QString& section) const;
    void eraseSection(const QString& section);
    void deleteKey(const QString& section, const QString& key);

    // Writes the whole file atomically. Returns false (see errorString) on failure;
    // the old file is then untouched.
    bool save();
    QString errorString() const { return error_; }

    // Largest file read; larger files are treated as empty.
    static constexpr qint64 MaxFileSize = 16 * 1024 * 1024;

    // Parses "123", "-5", "$1F" or "0x1F" (as the settings files may hold them);
    // false when the text is not such a number or does not fit 32 bits.
    static bool parseInteger(const QString& text, int& value);

private:
    struct Line {
        QString text;     // the line as read (or as written)
        QString section;  // for a section header: its name
        QString key;      // for a key line: its name
        QString value;    // for a key line: its value
        enum Kind { Other, Section, Key } kind = Other;
    };
    int findSection(const QString& section) const;              // header line index or -1
    int findKey(const QString& section, const QString& key) const;  // key line index or -1
    int sectionEnd(int header) const;                            // index after the last line of a section

    QString path_;
    std::vector<Line> lines_;
    bool loaded_ = false;
    QString error_;
};

}  // namespace dw
