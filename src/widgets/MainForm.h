#pragma once
// TMainForm: the program's main window. It binds the track list, the status
// line, the menus and the toolbar to the core: the listing (cd/DiscListing)
// decides drive or ripper mode and what the rows hold; the extract checks,
// the job runner and the rip engine do the work of the commands. The window
// opens the other windows modally and keeps only the view state of playback.
//
//   auto* w = new TMainForm;   // loads the settings
//   w->show();                 // detection and listing follow right after
//
// Main thread only.

#include "cd/DiscListing.h"
#include "runner/Extract.h"
#include "widgets/MainFormMenus.h"

#include <QMainWindow>

#include <memory>

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;
class QUrl;

namespace dw {

class DiscWatcher;
class TCDIn;
class TCdAudioPlayer;
class TMp3EncodeProcess;
class TQueryFreedb;
class TWMAEncodeProcess;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // mode Ripper skips the drive library and reaches the disc through the
    // CD input component only, as when the drive library opens no drive
    // (as the command line's --mode ripper does).
    explicit TMainForm(QWidget* parent = nullptr, TRipModeChoice mode = TRipModeChoice::Auto);
    ~TMainForm() override;

    // The listing the window shows (also used by the options dialog).
    DiscListing& Listing() { return listing_; }
    // The CD input component of ripper mode; null in drive mode.
    TCDIn* Component() { return disc_.Component(); }
    // True once the first detection and listing after showing has run.
    bool StartedUp() const { return startedUp_; }

    // Redraws the rows and the status line from the listing.
    void ShowListing();

    // The commands, as the menus, toolbar and popup run them.
    void Extract();
    void ConvertFiles(int jobKind);
    void OpenOutputDirectory();
    void Refresh();
    void DiscRemoved();
    void SelectAll(bool ticked);
    void RenameTitle();
    void Play();
    void Pause();
    void Stop();
    void ChooseLanguageItem(const QString& itemName);
    void ShowAbout();
    void ShowOptions();
    void QueryFreedb();

    bool Playing() const { return playing_; }
    bool Paused() const { return paused_; }

signals:
    void startedUp();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildList();
    void connectCommands();
    void startUp();
    void activate();
    void tickLanguage(const QString& itemName);
    void setStatus(const QString& text);
    void updateCommands();
    int selectedRow() const;
    void rowChanged(QTreeWidgetItem* item, int column);
    void stopPlayback();
    void openUrl(const QUrl& url);

    // The commands that reach other windows and the platform
    // (MainFormCommands.cpp).
    enum class PlayerHistory { RealPlayer, MediaPlayer };
    void runExtract();
    void runFileConversion(int jobKind);
    void runOptionsDialog();
    void ejectTray(bool open);
    void startVolumeControl();
    void clearHistory(PlayerHistory player);
    void playDevice(int row, bool resume);
    void pauseDevice();
    void stopDevice();
    QString devicePath() const;

    TMainFormActions act_;
    QTreeWidget* ListView1 = nullptr;
    QLabel* Panel1 = nullptr;
    DiscWatcher* watcher_ = nullptr;

    TExtractDisc disc_;       // the disc in drive or ripper mode, with its listing
    DiscListing& listing_;    // disc_'s listing
    std::unique_ptr<TMp3EncodeProcess> lame_;  // the program's encoder objects
    std::unique_ptr<TWMAEncodeProcess> wma_;
    std::unique_ptr<TCdAudioPlayer> player_;
    TQueryFreedb* query_ = nullptr;  // the Query Freedb command (a child)
    TRipModeChoice mode_ = TRipModeChoice::Auto;
    bool playing_ = false;
    bool paused_ = false;
    bool shown_ = false;
    bool startedUp_ = false;
    bool closed_ = false;
    bool filling_ = false;  // rows are being rebuilt: check changes are not edits
};

}  // namespace dw
