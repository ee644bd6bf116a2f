// The main window's commands that open other windows or reach the platform:
// extract, file conversions, options, the tray, the mixer, the players'
// histories and CD playback.
#include "widgets/MainForm.h"

#include "app/ResourceText.h"
#include "app/Settings.h"
#include "jobs/Mp3EncodeProcess.h"
#include "jobs/WMAEncodeProcess.h"
#include "platform/CdAudioPlayer.h"
#include "platform/CdDrives.h"
#include "platform/Dialogs.h"
#include "platform/PlayerHistory.h"
#include "platform/Registry.h"
#include "platform/VolumeMixer.h"
#include "runner/ConversionChecks.h"
#include "runner/RunJob.h"
#include "widgets/CDRipForm.h"
#include "widgets/FileConversion.h"
#include "widgets/OptionSetForm.h"
#include "widgets/RipForm.h"

#include <QEventLoop>

#include <exception>

namespace dw {

void TMainForm::runExtract()
{
    // The checks, the job list and the engine of the mode are the core's;
    // the window only gives the job its progress window.
    // Playback stops once the track, folder and drive checks have passed.
    auto run = [this](auto& form) {
        TExtract extract(disc_, form, lame_.get(), wma_.get());
        form.StopRequested = [&extract] { extract.Stop(); };
        extract.ChecksPassed = [this] {
            if (Playing())
                stopPlayback();
        };
        // The job runs with the options and the disc as they stand now; the
        // list's titles it ran with stay the window's current ones. The job
        // window is modal: the command waits here, in a loop of its own, for
        // the job's end.
        QEventLoop loop;
        bool ended = false;
        extract.Start(TJobConfig::FromSettings(AppSettings), [&](const TExtractResult& result) {
            if (result.Ran)
                AppSettings.DiscTitles = result.Disc.DiscTitles;
            ended = true;
            loop.quit();
        });
        if (!ended)
            loop.exec();
    };
    if (listing_.CDHandle != 0) {
        TRipForm form(this);
        run(form);
    } else {
        TfrmCDRip form(this);
        run(form);
    }
}

void TMainForm::runFileConversion(int jobKind)
{
    const auto kind = TJobKind(jobKind);
    Dialogs& dialogs = CurrentDialogs();
    const QStringList files = dialogs.chooseOpenFiles(QString(), QString(), ConversionFilter(kind), true);
    if (files.isEmpty())
        return;
    if (!ConversionMayStart(kind, AppSettings.OutputFolder, dialogs))
        return;
    // Whether each existing output is replaced is asked before the job starts.
    TJobConfig config = TJobConfig::FromSettings(AppSettings);
    config.Overwrite = false;
    for (const QString& output : ExistingConversionOutputs(kind, config.Options.OutputFolder, files))
        if (dialogs.askYesNo(output + ResourceText(res::File_Exist), Answer::Yes, MessageIcon::Information))
            config.ReplaceOutputs << output;
    try {
        TRipForm form(this);
        TJobRunOptions options;
        options.lame = lame_.get();
        options.wma = wma_.get();
        form.StopRequested = [cancel = options.cancel] { cancel.Cancel(); };
        // The job window is modal: the command waits here for the job's end.
        QEventLoop loop;
        bool ended = false;
        RunJob(kind, 0, files, config, form, [&](const TJobSummary&) {
            ended = true;
            loop.quit();
        }, options);
        form.RunModal();
        if (!ended)
            loop.exec();
    } catch (const std::exception& e) {
        ReportConversionFailure(e, dialogs);
    }
}

void TMainForm::runOptionsDialog()
{
    // The drive page detects and lists the disc anew itself; the window only
    // redraws what it found.
    TOptionSetForm form(this, Listing(), Component(), [this] { ShowListing(); });
    form.exec();
}

QString TMainForm::devicePath() const
{
    const std::vector<CdDrive> drives = ListCdDrives();
    if (drives.empty())
        return {};
    const int index = AppSettings.Index;
    return drives[size_t(index >= 0 && size_t(index) < drives.size() ? index : 0)].path;
}

void TMainForm::ejectTray(bool open)
{
    const QString device = devicePath();
    if (!device.isEmpty())
        SetCdDoorOpen(device, open);  // the result is not looked at
}

void TMainForm::startVolumeControl()
{
    // The first mixer found; none found starts nothing, as a missing
    // program would.
    StartVolumeMixer();
}

void TMainForm::clearHistory(PlayerHistory player)
{
    const TMediaPlayer which =
        player == PlayerHistory::RealPlayer ? TMediaPlayer::RealPlayer : TMediaPlayer::WindowsMediaPlayer;
    Dialogs& dialogs = CurrentDialogs();
    if (PlayerRunning(which) && !dialogs.askYesNo(ResourceText(res::RealOne_Window_Exist), Answer::No))
        return;
    TRegistry registry(GetAppDataFolder() + QString::fromLatin1(RegistryFileName));
    const int deleted = ClearPlayerHistory(registry, which);
    dialogs.information(QString::number(deleted) + ResourceText(res::Clear_History));
}

void TMainForm::playDevice(int row, bool resume)
{
    // Device errors are swallowed: playback simply does not start.
    if (!player_) {
        player_ = std::make_unique<TCdAudioPlayer>();
        connect(player_.get(), &TCdAudioPlayer::finished, this, &TMainForm::Stop);
    }
    if (resume) {
        player_->Resume();
        return;
    }
    const int from = listing_.Rows[size_t(row)].track;
    const bool last = size_t(row) + 1 >= listing_.Rows.size();
    const int to = last ? 0 : listing_.Rows[size_t(row) + 1].track;
    player_->Play(devicePath(), from, to);
}

void TMainForm::pauseDevice()
{
    if (player_)
        player_->Pause();
}

void TMainForm::stopDevice()
{
    if (player_)
        player_->Stop();
}

}  // namespace dw
