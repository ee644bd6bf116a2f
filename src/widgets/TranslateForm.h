#pragma once
// Replaces the texts of one window from a language file.
//
// The window's objectName names its section; each control is addressed by its
// objectName. Section [<window>] holds:
//   <window>                  the window title
//   <name>                    the text of a QLabel (labels and panels), a button
//                             (QPushButton, QCheckBox, QRadioButton, QToolButton)
//                             or the title of a QGroupBox
//   <name>_Text, <name>_ItemN a QComboBox's edit text (editable boxes only) and
//                             its entries from 0
//   <name> or <name>_PanelN   a QStatusBar: its message when it holds no QLabel,
//                             otherwise the QLabels added to it, in creation order
//   <name>_ColumnN            the column headings of a QTreeView/QTableView
//                             (QTreeWidget, QTableWidget and views over a model)
//   <name>_PageN              the tab texts of a QTabWidget
// Section [Menu_<window>] holds the menu items: a QAction's text or a QMenu's
// title by objectName; separators are skipped.
//
// Controls are visited in creation order, depth first. A key that is absent
// leaves the text as it was; an absent or unreadable file changes nothing.
// Windows owned by the window (dialogs parented to it) are left to their own
// translation, and so are Qt's internal children (no name, or a "qt_" name)
// and any widget whose property NoTranslateProperty is true (the flat-style
// widgets of the widget set, which keep their texts).

#include <QString>

class QWidget;

namespace dw {

class IniFile;

// Set to true on a widget or action to keep it out of translation.
inline constexpr char NoTranslateProperty[] = "dwNoTranslate";

// Translates window from the file of language (LanguageFilePath). Gives true
// when the file was read. It does not treat English specially: callers skip the
// call when the language is English, as windows keep their built-in texts then.
bool TranslateForm(QWidget* window, const QString& language);

// The same from an already opened language file.
void TranslateForm(QWidget* window, const IniFile& file);

}  // namespace dw
