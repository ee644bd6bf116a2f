#include "widgets/MainForm.h"

#include "app/JobEvents.h"
#include "app/Language.h"
#include "app/ResourceText.h"
#include "app/Settings.h"
#include "cd/CDIn.h"
#include "cddb/DiscCache.h"
#include "jobs/Mp3EncodeProcess.h"
#include "jobs/WMAEncodeProcess.h"
#include "platform/CdAudioPlayer.h"
#include "platform/Dialogs.h"
#include "widgets/AboutForm.h"
#include "widgets/DiscWatcher.h"
#include "widgets/EditTrackNameForm.h"
#include "widgets/ID3EditForm.h"
#include "widgets/NoDeviceHintForm.h"
#include "widgets/OggPlayerForm.h"
#include "widgets/ProductLinks.h"
#include "widgets/QueryFreedb.h"
#include "widgets/RecordForm.h"
#include "widgets/ResampleForm.h"
#include "widgets/TranslateForm.h"
#include "widgets/TranslatedDialog.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <exception>

namespace dw {

namespace {

enum Column { ColNumber, ColTitle, ColLength, ColSize };

}  // namespace

TMainForm::TMainForm(QWidget* parent, TRipModeChoice mode)
    : QMainWindow(parent), disc_(AppSettings, DiscListingCache(AppSettings)), listing_(disc_.Listing()), mode_(mode)
{
    LoadSettings();
    lame_ = std::make_unique<TMp3EncodeProcess>();
    wma_ = std::make_unique<TWMAEncodeProcess>();
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(MainWindowCaption());
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(214, 223, 247));
    setPalette(colours);
    setAutoFillBackground(true);

    act_ = BuildMainFormMenus(this);
    buildList();
    connectCommands();
    updateCommands();

    query_ = new TQueryFreedb(this);
    connect(query_, &TQueryFreedb::rowsChanged, this, &TMainForm::ShowListing);

    watcher_ = new DiscWatcher(this);
    watcher_->SetDrive([this] { return devicePath(); });
    connect(watcher_, &DiscWatcher::arrived, this, &TMainForm::Refresh);
    connect(watcher_, &DiscWatcher::removed, this, &TMainForm::DiscRemoved);
    resize(560, 420);
}

TMainForm::~TMainForm() = default;

void TMainForm::buildList()
{
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("ClientArea"));
    auto* layout = new QVBoxLayout(central);
    // The list sits 8 pixels in from the left and right under the toolbar;
    // the status line 8 pixels in from the left, right and bottom.
    layout->setContentsMargins(8, 4, 8, 8);
    layout->setSpacing(4);

    ListView1 = new QTreeWidget(central);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setColumnCount(4);
    ListView1->setHeaderLabels({QStringLiteral("No."), QStringLiteral("Title"), QStringLiteral("Length(min)"),
                                QStringLiteral("Size(MB)")});
    ListView1->headerItem()->setTextAlignment(ColLength, Qt::AlignCenter);
    ListView1->headerItem()->setTextAlignment(ColSize, Qt::AlignCenter);
    ListView1->setColumnWidth(ColNumber, 90);
    ListView1->setColumnWidth(ColTitle, 230);
    ListView1->setColumnWidth(ColLength, 100);
    ListView1->setColumnWidth(ColSize, 90);
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    // Colours through the palette, not a style sheet: a style sheet makes
    // Qt polish and paint the widget through its slower style-sheet style.
    QPalette listColours = ListView1->palette();
    listColours.setColor(QPalette::Base, QColor(239, 239, 255));
    ListView1->setPalette(listColours);
    ListView1->viewport()->installEventFilter(this);
    layout->addWidget(ListView1, 1);

    Panel1 = new QLabel(central);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setProperty(NoTranslateProperty, true);  // shows status texts, each already in the language
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Sunken);
    Panel1->setMinimumHeight(22);
    Panel1->setContentsMargins(4, 0, 4, 0);
    QPalette statusColours = Panel1->palette();
    statusColours.setColor(QPalette::Window, QColor(220, 225, 255));
    Panel1->setPalette(statusColours);
    Panel1->setAutoFillBackground(true);
    layout->addWidget(Panel1);
    setCentralWidget(central);

    connect(ListView1, &QTreeWidget::itemChanged, this, &TMainForm::rowChanged);
    connect(ListView1, &QTreeWidget::itemSelectionChanged, this, &TMainForm::updateCommands);
    connect(ListView1, &QTreeWidget::itemDoubleClicked, this, [this] { RenameTitle(); });
    connect(ListView1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { act_.Popup->popup(ListView1->viewport()->mapToGlobal(pos)); });
}

void TMainForm::connectCommands()
{
    auto on = [this](QAction* a, auto slot) { connect(a, &QAction::triggered, this, slot); };
    on(act_.WavToMp3, [this] { ConvertFiles(jkWavToMp3); });
    on(act_.Mp3ToWav, [this] { ConvertFiles(jkMp3ToWav); });
    on(act_.WavToOgg, [this] { ConvertFiles(jkWavToOgg); });
    on(act_.WavToWma, [this] { ConvertFiles(jkWavToWma); });
    on(act_.WavToFlac, [this] { ConvertFiles(jkToFlac); });
    on(act_.WavToOpus, [this] { ConvertFiles(jkToOpus); });
    on(act_.OpenOutput, [this] { OpenOutputDirectory(); });
    on(act_.Refresh, [this] { Refresh(); });
    on(act_.Eject, [this] { ejectTray(true); });
    on(act_.CloseCD, [this] { ejectTray(false); });
    on(act_.Exit, [this] { close(); });
    on(act_.Extract, [this] { Extract(); });
    on(act_.Play, [this] { Play(); });
    on(act_.Pause, [this] { Pause(); });
    on(act_.Stop, [this] { Stop(); });
    on(act_.Volume, [this] { startVolumeControl(); });
    on(act_.ClearRealPlayer, [this] { clearHistory(PlayerHistory::RealPlayer); });
    on(act_.ClearMediaPlayer, [this] { clearHistory(PlayerHistory::MediaPlayer); });
    on(act_.SelectAll, [this] { SelectAll(true); });
    on(act_.SelectNone, [this] { SelectAll(false); });
    on(act_.QueryFreedb, [this] { QueryFreedb(); });
    on(act_.RenameTitle, [this] { RenameTitle(); });
    on(act_.Options, [this] { ShowOptions(); });
    on(act_.Help, [this] { openUrl(HelpFileUrl()); });
    on(act_.HomePage, [this] { openUrl(HomePageUrl()); });
    on(act_.About, [this] { ShowAbout(); });
    for (QAction* lang : act_.LanguageMenu->actions())
        if (!lang->isSeparator())
            connect(lang, &QAction::triggered, this, [this, lang] {
                ChooseLanguageItem(lang->objectName());
            });
    // The recorder, the WAV conversion window, the tag editor and the Ogg
    // player: modal, freed when closed.
    on(act_.WavToWav, [this] { TfrmResample(this).exec(); });
    on(act_.Record, [this] { TfrmRecord(this, listing_.CDHandle).exec(); });
    on(act_.ID3TagEdit, [this] { TfrmID3Edit(this).exec(); });
    on(act_.OggPlayer, [this] { TfrmOggPlayer(this).exec(); });
}

void TMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    try {
        tickLanguage(LanguageMenuItemFor(AppSettings.Lan));
        TranslateToCurrentLanguage(this);
    } catch (const std::exception&) {
        // Errors of the showing step are swallowed.
    }
    // The drives are looked at once the window is on screen, so it appears
    // at once even when a drive is slow to answer.
    QTimer::singleShot(0, this, &TMainForm::startUp);
}

void TMainForm::startUp()
{
    if (closed_)
        return;
    if (mode_ != TRipModeChoice::Ripper)
        listing_.Show(AppSettings.Index);
    ShowListing();
    activate();
    watcher_->resync();
    startedUp_ = true;
    emit startedUp();
}

void TMainForm::activate()
{
    try {
        if (listing_.CDHandle == 0) {
            // The drive library opened nothing: ripper mode, where the CD
            // input component lists the disc. Without any drive the user is
            // told where to look. (Setting aside a drive access layer in the
            // program folder, as other systems need, has no counterpart here.)
            const TDiscProblem problem = disc_.Open(TRipModeChoice::Ripper, AppSettings.Index);
            if (problem == TDiscProblem::NoComponentDrive) {
                TfrmNoDeviceHint hint(this);
                hint.exec();
            }
            if (problem != TDiscProblem::None)
                listing_.NoAudioCd = true;
        }
        listing_.Activate(AppSettings.Index, nullptr);
    } catch (const std::exception&) {
        // Like showing, activation never stops the window.
    }
    ShowListing();
}

void TMainForm::ShowListing()
{
    filling_ = true;
    ListView1->clear();
    for (const TrackRow& row : listing_.Rows) {
        auto* item = new QTreeWidgetItem(ListView1);  // the list owns its rows
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setText(ColNumber, QString::number(row.track));
        item->setCheckState(ColNumber, row.checked ? Qt::Checked : Qt::Unchecked);
        item->setText(ColTitle, row.title);
        item->setText(ColLength, row.length);
        item->setText(ColSize, row.size);
        item->setTextAlignment(ColLength, Qt::AlignCenter);
        item->setTextAlignment(ColSize, Qt::AlignCenter);
    }
    filling_ = false;
    setStatus(listing_.Status);
    updateCommands();
}

void TMainForm::setStatus(const QString& text)
{
    listing_.Status = text;
    Panel1->setText(text);
}

void TMainForm::rowChanged(QTreeWidgetItem* item, int column)
{
    if (filling_ || column != ColNumber)
        return;
    const int row = ListView1->indexOfTopLevelItem(item);
    if (row >= 0 && size_t(row) < listing_.Rows.size())
        listing_.Rows[size_t(row)].checked = item->checkState(ColNumber) == Qt::Checked;
    updateCommands();
}

int TMainForm::selectedRow() const
{
    const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
    return selected.isEmpty() ? -1 : ListView1->indexOfTopLevelItem(selected.first());
}

void TMainForm::updateCommands()
{
    bool anyTicked = false;
    for (const TrackRow& row : listing_.Rows)
        anyTicked = anyTicked || row.checked;
    const bool rowSelected = selectedRow() >= 0;
    act_.Extract->setEnabled(anyTicked);
    act_.Play->setEnabled(rowSelected);
    act_.Pause->setEnabled(playing_ && !paused_);
    act_.Stop->setEnabled(playing_);
    act_.RenameTitle->setEnabled(rowSelected);
    act_.QueryFreedb->setEnabled(!listing_.Rows.empty());
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    // A click with Ctrl held toggles the tick of the row clicked (which
    // becomes the selected row), instead of changing the selection.
    if (watched == ListView1->viewport() && event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && (mouse->modifiers() & Qt::ControlModifier)) {
            QTreeWidgetItem* item = ListView1->itemAt(mouse->position().toPoint());
            if (!item && selectedRow() >= 0)
                item = ListView1->topLevelItem(selectedRow());
            if (item) {
                ListView1->setCurrentItem(item);
                item->setCheckState(ColNumber,
                                    item->checkState(ColNumber) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
            }
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::tickLanguage(const QString& itemName)
{
    for (QAction* lang : act_.LanguageMenu->actions())
        if (!lang->isSeparator())
            lang->setChecked(!itemName.isEmpty() && lang->objectName() == itemName);
}

void TMainForm::ChooseLanguageItem(const QString& itemName)
{
    const LanguageChoice choice = ChooseLanguage(itemName, AppSettings, CurrentDialogs());
    if (!choice.changed) {
        // The item's tick follows the setting, not the click.
        tickLanguage(LanguageMenuItemFor(AppSettings.Lan));
        return;
    }
    tickLanguage(choice.itemToTick);
    TranslateForm(this, AppSettings.Lan);
}

void TMainForm::SelectAll(bool ticked)
{
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i)
        ListView1->topLevelItem(i)->setCheckState(ColNumber, ticked ? Qt::Checked : Qt::Unchecked);
}

void TMainForm::RenameTitle()
{
    const int row = selectedRow();
    if (row < 0 || size_t(row) >= listing_.Rows.size())
        return;
    const std::optional<QString> title = AskTrackTitle(listing_.Rows[size_t(row)].title, this);
    if (!title)
        return;
    listing_.Rows[size_t(row)].title = *title;
    ListView1->topLevelItem(row)->setText(ColTitle, *title);
}

void TMainForm::Refresh()
{
    if (listing_.CDHandle == 0 && !disc_.Component()) {
        // Ripper mode without a component yet (no drive at start).
        disc_.Open(TRipModeChoice::Ripper, AppSettings.Index);
    }
    listing_.Refresh(AppSettings.Index, listing_.CDHandle == 0 ? disc_.Component() : nullptr);
    ShowListing();
    watcher_->resync();
}

void TMainForm::DiscRemoved()
{
    listing_.Clear();
    const QString status = listing_.Status;
    ShowListing();
    setStatus(status);
}

void TMainForm::OpenOutputDirectory()
{
    const QString folder = AppSettings.OutputFolder;
    if (!folder.isEmpty() && QDir(folder).exists())
        openUrl(QUrl::fromLocalFile(folder));
    else
        CurrentDialogs().error(folder + QStringLiteral(",") + ResourceText(res::Directory_Not_Exist));
}

void TMainForm::openUrl(const QUrl& url)
{
    QDesktopServices::openUrl(url);
}

void TMainForm::ShowAbout()
{
    TfrmAbout about(this);
    about.exec();
}

void TMainForm::ShowOptions()
{
    runOptionsDialog();
}

void TMainForm::QueryFreedb()
{
    if (query_->Run(listing_, disc_.Component()))
        ShowListing();
}

void TMainForm::Extract()
{
    runExtract();
}

void TMainForm::ConvertFiles(int jobKind)
{
    runFileConversion(jobKind);
}

void TMainForm::Play()
{
    const int row = selectedRow();
    if (row < 0 || size_t(row) >= listing_.Rows.size())
        return;
    setStatus(ResourceText(res::Play) + listing_.Rows[size_t(row)].title);
    const bool resume = playing_ && paused_;
    playing_ = true;
    paused_ = false;
    playDevice(row, resume);
    updateCommands();
}

void TMainForm::Pause()
{
    paused_ = true;
    pauseDevice();
    updateCommands();
}

void TMainForm::Stop()
{
    stopPlayback();
    setStatus(listing_.IdleStatusText);
}

void TMainForm::stopPlayback()
{
    playing_ = false;
    paused_ = false;
    stopDevice();
    updateCommands();
}

void TMainForm::closeEvent(QCloseEvent* event)
{
    if (!closed_) {
        closed_ = true;
        query_->Cancel();
        try {
            for (TEncodeProcess* encoder : {static_cast<TEncodeProcess*>(lame_.get()),
                                            static_cast<TEncodeProcess*>(wma_.get())})
                if (encoder->Running)
                    encoder->Kill();
            // A save that fails is shown with its file and reason: the
            // titles and settings would otherwise be lost without a word.
            QStringList failures;
            if (!listing_.CloseDisc())
                failures << QStringLiteral("The disc titles could not be saved: ")
                                + (LastDiscCacheError().isEmpty() ? DiscCachePath() : LastDiscCacheError());
            if (playing_)
                stopPlayback();
            QString settingsError;
            if (!SaveSettings(&settingsError))
                failures << QStringLiteral("The settings could not be saved: ") + settingsError;
            if (!failures.isEmpty())
                CurrentDialogs().error(failures.join(QLatin1Char('\n')));
        } catch (const std::exception&) {
            // Other errors of the closing steps are swallowed.
        }
    }
    QMainWindow::closeEvent(event);
}

}  // namespace dw
