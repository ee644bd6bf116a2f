#include "widgets/MainFormMenus.h"

#include "app/Language.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

namespace dw {

namespace {

QAction* item(QMenu* menu, const char* name, const char* caption, const char* shortcut = nullptr)
{
    QAction* a = menu->addAction(QString::fromUtf8(caption));
    a->setObjectName(QString::fromLatin1(name));
    if (shortcut)
        a->setShortcut(QKeySequence(QString::fromLatin1(shortcut)));
    return a;
}

QMenu* menu(QMenuBar* bar, const char* name, const char* caption)
{
    QMenu* m = bar->addMenu(QString::fromUtf8(caption));
    m->setObjectName(QString::fromLatin1(name));
    return m;
}

void separator(QMenu* m, const char* name)
{
    m->addSeparator()->setObjectName(QString::fromLatin1(name));
}

// A tool button for an action, with its own caption (the action keeps its
// menu caption) and a component name of its own.
void tool(QToolBar* bar, QAction* action, const char* name, const char* caption, QStyle::StandardPixmap icon)
{
    action->setIconText(QString::fromUtf8(caption));
    if (action->icon().isNull())
        action->setIcon(bar->style()->standardIcon(icon));
    bar->addAction(action);
    if (QWidget* button = bar->widgetForAction(action))
        button->setObjectName(QString::fromLatin1(name));
}

}  // namespace

TMainFormActions BuildMainFormMenus(QMainWindow* window)
{
    TMainFormActions a;
    QMenuBar* bar = window->menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));

    QMenu* file = menu(bar, "N1", "&File");
    a.WavToWav = item(file, "miWavToWav", "WA&V to WAV...");
    a.WavToMp3 = item(file, "miWavToMp3", "&WAV to MP3...", "Ctrl+W");
    a.Mp3ToWav = item(file, "miMp3ToWav", "&MP3 to WAV...");
    a.WavToOgg = item(file, "miWavToOgg", "WAV to O&GG...");
    a.WavToWma = item(file, "miWavToWma", "WAV to WM&A...");
    a.WavToFlac = item(file, "miWavToFlac", "WAV to &FLAC...");
    a.WavToOpus = item(file, "miWavToOpus", "WAV to O&pus...");
    separator(file, "N5");
    a.OpenOutput = item(file, "miOpenOutput", "&Open output directory...");
    a.Refresh = item(file, "miRefresh", "&Refresh");
    separator(file, "N6");
    a.Eject = item(file, "miEject", "&Eject CD", "Ctrl+E");
    a.CloseCD = item(file, "miCloseCD", "&Close CD", "Ctrl+L");
    separator(file, "N7");
    a.Exit = item(file, "miExit", "E&xit");

    QMenu* actions = menu(bar, "N2", "&Actions");
    a.Extract = item(actions, "miExtract", "E&xtract", "Ctrl+X");
    a.Record = item(actions, "miRecord", "&Record...", "Ctrl+R");
    a.OggPlayer = item(actions, "miOggPlayer", "&OGG Player...");
    separator(actions, "N8");
    a.Play = item(actions, "miPlay", "&Play", "Ctrl+P");
    a.Pause = item(actions, "miPause", "P&ause");
    a.Stop = item(actions, "miStop", "&Stop");
    separator(actions, "N9");
    a.Volume = item(actions, "miVolume", "&Volume Control...", "Ctrl+V");
    QMenu* history = actions->addMenu(QStringLiteral("&Clear History"));
    history->setObjectName(QStringLiteral("miClearHistory"));
    a.ClearRealPlayer = item(history, "miRealPlayer", "&RealPlayer");
    a.ClearMediaPlayer = item(history, "miWindowsMediaPlayer", "&Windows Media Player");

    QMenu* edit = menu(bar, "N3", "&Edit");
    a.SelectAll = item(edit, "miSelectAll", "Select &All", "Ctrl+A");
    a.SelectNone = item(edit, "miSelectNone", "Select &None", "Ctrl+N");
    separator(edit, "N10");
    a.QueryFreedb = item(edit, "miQueryFreedb", "&Query Freedb");
    a.RenameTitle = item(edit, "miRenameTitle", "Rename &Title", "F2");
    a.ID3TagEdit = item(edit, "miID3TagEdit", "&ID3 Tag Edit");
    separator(edit, "N11");
    a.Options = item(edit, "miOptions", "&Options...", "Ctrl+O");

    a.LanguageMenu = menu(bar, "miLanguage", "Language");
    const QStringList& languages = LanguageMenuItemNames();
    for (const QString& name : languages) {
        if (name == QLatin1String("miOther"))
            separator(a.LanguageMenu, "N12");
        QAction* lang = a.LanguageMenu->addAction(name == QLatin1String("miOther") ? QStringLiteral("Other")
                                                                                    : LanguageOfMenuItem(name));
        lang->setObjectName(name);
        lang->setCheckable(true);
    }

    QMenu* help = menu(bar, "N4", "&Help");
    a.Help = item(help, "miHelp", "&Help", "F1");
    a.HomePage = item(help, "miHomePage", "Home Page");
    separator(help, "N13");
    a.About = item(help, "miAbout", "&About...");

    a.ToolBar = window->addToolBar(QStringLiteral("Toolbar"));
    a.ToolBar->setObjectName(QStringLiteral("ToolBar1"));
    a.ToolBar->setMovable(false);
    a.ToolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    a.ToolBar->toggleViewAction()->setVisible(false);
    tool(a.ToolBar, a.Extract, "tbExtract", "Extract", QStyle::SP_DriveCDIcon);
    tool(a.ToolBar, a.WavToMp3, "tbEncode", "Encode", QStyle::SP_FileIcon);
    tool(a.ToolBar, a.OpenOutput, "tbFolder", "Folder", QStyle::SP_DirOpenIcon);
    tool(a.ToolBar, a.Record, "tbRecord", "Record", QStyle::SP_MediaVolume);
    a.ToolBar->addSeparator();
    tool(a.ToolBar, a.Options, "tbOptions", "Options", QStyle::SP_FileDialogDetailedView);
    tool(a.ToolBar, a.HomePage, "tbHome", "Home", QStyle::SP_DirHomeIcon);
    tool(a.ToolBar, a.Exit, "tbExit", "Exit", QStyle::SP_DialogCloseButton);

    a.Popup = new QMenu(window);
    a.Popup->setObjectName(QStringLiteral("PopupMenu1"));
    a.Popup->addAction(a.Extract);
    a.Popup->addSeparator();
    a.Popup->addAction(a.SelectAll);
    a.Popup->addAction(a.SelectNone);
    a.Popup->addSeparator();
    a.Popup->addAction(a.Play);
    a.Popup->addAction(a.Pause);
    a.Popup->addAction(a.Stop);
    a.Popup->addSeparator();
    a.Popup->addAction(a.RenameTitle);
    return a;
}

}  // namespace dw
