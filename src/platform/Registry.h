#pragma once
// The current user's registry as the program uses it: named values under key
// paths, kept in the INI file registry.ini in the settings folder, one
// section per key path. A key path is written with backslashes as on Windows
// ("Software\RealNetworks\RealPlayer\6.0\Preferences\MostRecentClips1");
// leading and trailing backslashes do not count and names compare without
// regard to case. Every change is a read-modify-write under the file's lock
// through a temporary file, so other processes' changes are kept.
//
// Main thread or any one thread per object.

#include <QString>
#include <QStringList>

#include <optional>

namespace dw {

inline constexpr char RegistryFileName[] = "registry.ini";

class TRegistry {
public:
    // file: normally GetAppDataFolder() + RegistryFileName.
    explicit TRegistry(QString file);

    const QString& File() const { return file_; }

    bool KeyExists(const QString& key) const;
    // The value, or nothing when the key or the value does not exist.
    std::optional<QString> ReadValue(const QString& key, const QString& name) const;
    QStringList ValueNames(const QString& key) const;

    // Creates the key when needed. False when the file cannot be written.
    bool WriteValue(const QString& key, const QString& name, const QString& value);
    // False when the key does not exist or the file cannot be written.
    bool DeleteKey(const QString& key);
    // False when the key or the value does not exist or the file cannot be written.
    bool DeleteValue(const QString& key, const QString& name);

    // The section name of a key path: without leading and trailing backslashes.
    static QString SectionOf(const QString& key);

private:
    QString file_;
};

}  // namespace dw
