#include "app/ResourceText.h"

#include "app/Language.h"
#include "app/Settings.h"
#include "platform/IniFile.h"

namespace dw {

namespace res {

const char* EnglishText(const QString& key)
{
    for (const Key& k : AllKeys)
        if (key == QLatin1String(k.key))
            return k.english;
    return nullptr;
}

}  // namespace res

QString ResourceTextFor(const QString& language, const QString& key, const QString& english)
{
    if (IsEnglish(language))
        return english;
    // Read afresh on every call: messages are shown one at a time, and a file
    // edited while the program runs is picked up. A missing, unreadable or
    // damaged file reads as empty, which gives the empty message.
    const QString path = LanguageFilePath(language);
    if (path.isEmpty())
        return {};
    const IniFile file(path);
    return file.readString(QStringLiteral("ResourceString"), key, QString());
}

QString ResourceText(const char* key, const QString& english)
{
    return ResourceTextFor(TextLanguage(), QString::fromLatin1(key), english);
}

QString ResourceText(const res::Key& key)
{
    return ResourceText(key.key, QString::fromUtf8(key.english));
}

}  // namespace dw
