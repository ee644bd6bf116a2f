#pragma once
// INI files as the program's settings, language files and disc cache use them:
// "[Section]" lines open a section, "Key=Value" lines hold values. Section and
// key names compare without regard to case. A missing file, section or key
// gives the caller's default, as does an integer value that does not parse.
//
// Writing changes the value in place (or appends it to its section, or appends
// the section) and keeps every other line, byte for byte, and its order.
// save() replaces the file atomically: a temporary file beside it is written
// and renamed over it. Update() is the read-modify-write of a file that other
// processes change too: under the file's lock it reads the current file,
// applies the caller's change and saves, so concurrent updates of different
// keys or sections never undo each other.
//
// Each line is decoded on its own: UTF-8 when it is valid UTF-8, otherwise
// Latin-1 (old language files saved in an 8-bit code page). A damaged line
// (a NUL byte, invalid UTF-8) thus never affects the others, and lines that
// are not changed are written back unchanged.
//
// A file that exists but cannot be read (no permission, larger than
// MaxFileSize, not a regular file) gives the defaults to readers and is
// refused by save() and Update(), so it is never replaced by a file made from
// defaults. Sections are indexed by name, so files of many thousands of
// sections (a large disc cache) read and write quickly.
//
// Not thread-safe; one owner per object.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace dw {

class IniFile {
public:
    // Reads the file. A missing file gives an empty one; an unreadable or
    // oversized one an empty one that refuses to be saved (see refused()).
    explicit IniFile(QString path);

    const QString& path() const { return path_; }
    bool loaded() const { return loaded_; }  // true when the file existed and was read
    // True when a file exists at the path but was not read; errorString() says why.
    bool refused() const { return refused_; }

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

    // Writes the whole file atomically. Returns false (see errorString) on
    // failure, and always for a refused file; the old file is then untouched.
    bool save();
    // "<path>: <system reason>" of a refused read or a failed save.
    QString errorString() const { return error_; }

    // Read-modify-write under the lock beside the file (see the top of this
    // file). False with *error ("<path>: <reason>") when the file could not be
    // read or written; the file is then unchanged.
    static bool Update(const QString& path, const std::function<void(IniFile&)>& change, QString* error = nullptr);

    // Largest file read, and most lines: a cache of 20,000 discs of 100
    // titles each fits well within both. Larger files are refused, never
    // replaced; the line bound keeps the memory a file can claim in bounds.
    static constexpr qint64 MaxFileSize = qint64(128) * 1024 * 1024;
    static constexpr qint64 MaxLines = qint64(4) * 1024 * 1024;

    // Parses "123", "-5", "$1F" or "0x1F" (as the settings files may hold them);
    // false when the text is not such a number or does not fit 32 bits.
    static bool parseInteger(const QString& text, int& value);

private:
    struct Line {
        QByteArray raw;  // the line's bytes without the line end
        int eq = -1;     // position of the '=' of a key line; -1 for other lines
    };
    struct Section {
        QString name;       // empty for the lines before the first header
        bool hasHeader = false;
        QByteArray header;  // the header line's bytes
        std::vector<Line> lines;
    };
    struct Found {
        int section = -1;
        int line = -1;
    };

    bool parse(const QByteArray& bytes);  // false when the file has more than MaxLines lines
    void addSection(Section section);
    void rebuildIndex();
    const std::vector<int>* sectionsNamed(const QString& name) const;
    Found findKey(const QString& section, const QString& key) const;
    static QString keyOf(const Line& line);
    static QString valueOf(const Line& line);

    QString path_;
    std::vector<Section> sections_;
    QHash<QString, std::vector<int>> index_;  // lower-case name -> positions in sections_
    bool loaded_ = false;
    bool refused_ = false;
    bool bom_ = false;
    unsigned mode_ = 0;  // permission bits of the file read, kept on save
    QString error_;
};

}  // namespace dw
