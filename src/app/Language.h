#pragma once
// Language files and the logic of the Language menu.
//
// A language file is "CLan_" + language + ".ini" in the program folder. The
// Language menu's items are named after their language: the item name without
// its first two characters ("miNetherlands" gives "Netherlands"), so translated
// captions never change which file an item opens.

#include <QString>
#include <QStringList>

namespace dw {

class Dialogs;
struct TAppSettings;

// True when the language is English, compared without regard to case. English
// needs no file: windows keep their built-in texts, messages their English texts.
bool IsEnglish(const QString& language);

// ProgramFolder() + "CLan_" + language + ".ini". A name that could leave the
// program folder (holding "/", "\" or a NUL, or empty) gives an empty path,
// which every reader treats as a missing file.
QString LanguageFilePath(const QString& language);

// The names of the Language menu's items, in menu order; the separator that
// stands before "miOther" is not listed.
const QStringList& LanguageMenuItemNames();

// The item name without its first two characters ("miFrench" gives "French").
QString LanguageOfMenuItem(const QString& itemName);

// The item of the Language menu to tick for a language (compared without regard
// to case), or an empty text when no item belongs to it (then none is ticked).
QString LanguageMenuItemFor(const QString& language);

// The sentence inviting users to translate the program, shown above the
// "can not be found" text of the item Other.
extern const char* const TranslationInvitation;

// The text shown when the file of a chosen item does not exist: the path
// followed by " can not be found."; for "miOther" preceded by the invitation
// and an empty line.
QString LanguageNotFoundText(const QString& itemName, const QString& path);

// Outcome of a click on a Language menu item.
struct LanguageChoice {
    bool changed = false;  // the file exists and the language was set
    QString language;      // the language of the item
    QString path;          // its language file
    QString itemToTick;    // when changed: the item to tick (all others unticked)
};

// A click on the Language menu item itemName: when its file exists, sets
// settings.Lan and tells which item to tick (the caller ticks it and translates
// the main window); otherwise shows the "can not be found" box through dialogs
// and leaves the language as it was.
LanguageChoice ChooseLanguage(const QString& itemName, TAppSettings& settings, Dialogs& dialogs);

}  // namespace dw
