#include "app/Language.h"

#include "app/Settings.h"
#include "platform/Dialogs.h"
#include "platform/NativePath.h"
#include "platform/Paths.h"


namespace dw {

const char* const TranslationInvitation =
    "Discwright can speak your language! Visit https://www.quobel.example/discwright/translate "
    "to get the language file for your language, or translate the program yourself and share it "
    "with other users.";

bool IsEnglish(const QString& language)
{
    return language.compare(QLatin1String("English"), Qt::CaseInsensitive) == 0;
}

QString LanguageFilePath(const QString& language)
{
    // The name comes from options.ini or a menu item; it only ever names a file
    // in the program folder.
    if (language.isEmpty() || language.contains(QLatin1Char('/')) || language.contains(QLatin1Char('\\'))
        || language.contains(QChar(0)))
        return {};
    return ProgramFolder() + QStringLiteral("CLan_") + language + QStringLiteral(".ini");
}

const QStringList& LanguageMenuItemNames()
{
    static const QStringList names{
        "miArabic",   "miCatalan",     "miChinese", "miCzech",     "miDanish",     "miEnglish",
        "miFrench",   "miGerman",      "miGreek",   "miHebrew",    "miHungarian",  "miItalian",
        "miKurdish",  "miLatvian",     "miNetherlands", "miPortuguese", "miRussian", "miSlovenian",
        "miSpanish",  "miSwedish",     "miTurkish", "miOther",
    };
    return names;
}

QString LanguageOfMenuItem(const QString& itemName)
{
    return itemName.mid(2);
}

QString LanguageMenuItemFor(const QString& language)
{
    for (const QString& item : LanguageMenuItemNames())
        if (LanguageOfMenuItem(item).compare(language, Qt::CaseInsensitive) == 0)
            return item;
    return {};
}

QString LanguageNotFoundText(const QString& itemName, const QString& path)
{
    QString text = path + QStringLiteral(" can not be found.");
    if (itemName == QLatin1String("miOther"))
        text = QString::fromUtf8(TranslationInvitation) + QStringLiteral("\n\n") + text;
    return text;
}

LanguageChoice ChooseLanguage(const QString& itemName, TAppSettings& settings, Dialogs& dialogs)
{
    LanguageChoice choice;
    choice.language = LanguageOfMenuItem(itemName);
    choice.path = LanguageFilePath(choice.language);
    if (!choice.path.isEmpty() && IsRegularFile(choice.path)) {
        settings.Lan = choice.language;
        choice.changed = true;
        choice.itemToTick = itemName;
        return choice;
    }
    // Shown with the path the user would have to create, even for an unusable name.
    const QString shownPath =
        choice.path.isEmpty() ? ProgramFolder() + QStringLiteral("CLan_") + choice.language + QStringLiteral(".ini")
                              : choice.path;
    dialogs.message(LanguageNotFoundText(itemName, shownPath));
    return choice;
}

}  // namespace dw
