#include "platform/Registry.h"

#include "platform/IniFile.h"

namespace dw {

TRegistry::TRegistry(QString file) : file_(std::move(file)) {}

QString TRegistry::SectionOf(const QString& key)
{
    qsizetype from = 0, to = key.size();
    while (from < to && key[from] == '\\')
        ++from;
    while (to > from && key[to - 1] == '\\')
        --to;
    return key.mid(from, to - from);
}

bool TRegistry::KeyExists(const QString& key) const
{
    const QString section = SectionOf(key);
    return !section.isEmpty() && IniFile(file_).hasSection(section);
}

std::optional<QString> TRegistry::ReadValue(const QString& key, const QString& name) const
{
    const IniFile ini(file_);
    const QString section = SectionOf(key);
    if (section.isEmpty() || !ini.hasKey(section, name))
        return std::nullopt;
    return ini.readString(section, name, QString());
}

QStringList TRegistry::ValueNames(const QString& key) const { return IniFile(file_).keys(SectionOf(key)); }

bool TRegistry::WriteValue(const QString& key, const QString& name, const QString& value)
{
    const QString section = SectionOf(key);
    // A value name is an INI key: one line, no "=" (which would end the key).
    if (section.isEmpty() || name.isEmpty() || name.contains('=') || name.contains('\n') || name.contains('\r') ||
        value.contains('\n') || value.contains('\r') || section.contains(']') || section.contains('\n'))
        return false;
    return IniFile::Update(file_, [&](IniFile& ini) { ini.writeString(section, name, value); });
}

bool TRegistry::DeleteKey(const QString& key)
{
    const QString section = SectionOf(key);
    if (section.isEmpty())
        return false;
    bool existed = false;
    const bool saved = IniFile::Update(file_, [&](IniFile& ini) {
        existed = ini.hasSection(section);
        if (existed)
            ini.eraseSection(section);
    });
    return existed && saved;
}

bool TRegistry::DeleteValue(const QString& key, const QString& name)
{
    const QString section = SectionOf(key);
    if (section.isEmpty())
        return false;
    bool existed = false;
    const bool saved = IniFile::Update(file_, [&](IniFile& ini) {
        existed = ini.hasKey(section, name);
        if (existed)
            ini.deleteKey(section, name);
    });
    return existed && saved;
}

}  // namespace dw
