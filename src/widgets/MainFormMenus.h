#pragma once
// The commands of the main window as actions, and the main menu, toolbar and
// list popup built from them with their captions, shortcuts and component
// names (the names a language file addresses). Menu items, tool buttons and
// popup items that do the same thing share one action.

class QAction;
class QMainWindow;
class QMenu;
class QToolBar;

namespace dw {

struct TMainFormActions {
    // File
    QAction* WavToWav = nullptr;
    QAction* WavToMp3 = nullptr;
    QAction* Mp3ToWav = nullptr;
    QAction* WavToOgg = nullptr;
    QAction* WavToWma = nullptr;
    QAction* WavToFlac = nullptr;  // WAV, FLAC, Opus or Ogg Vorbis files to FLAC
    QAction* WavToOpus = nullptr;  // the same to Opus
    QAction* OpenOutput = nullptr;
    QAction* Refresh = nullptr;
    QAction* Eject = nullptr;
    QAction* CloseCD = nullptr;
    QAction* Exit = nullptr;
    // Actions
    QAction* Extract = nullptr;
    QAction* Record = nullptr;
    QAction* OggPlayer = nullptr;
    QAction* Play = nullptr;
    QAction* Pause = nullptr;
    QAction* Stop = nullptr;
    QAction* Volume = nullptr;
    QAction* ClearRealPlayer = nullptr;
    QAction* ClearMediaPlayer = nullptr;
    // Edit
    QAction* SelectAll = nullptr;
    QAction* SelectNone = nullptr;
    QAction* QueryFreedb = nullptr;
    QAction* RenameTitle = nullptr;
    QAction* ID3TagEdit = nullptr;
    QAction* Options = nullptr;
    // Help
    QAction* Help = nullptr;
    QAction* HomePage = nullptr;
    QAction* About = nullptr;

    QMenu* LanguageMenu = nullptr;  // its items: LanguageMenuItemNames(), a separator, miOther
    QMenu* Popup = nullptr;         // the list's popup
    QToolBar* ToolBar = nullptr;
};

// Creates the actions, the menu bar, the toolbar and the popup on window.
TMainFormActions BuildMainFormMenus(QMainWindow* window);

}  // namespace dw
