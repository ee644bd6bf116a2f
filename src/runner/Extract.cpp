#include "runner/Extract.h"

#include "app/Helpers.h"
#include "app/OutputFormats.h"
#include "app/ResourceText.h"
#include "cd/CDIn.h"
#include "jobs/Mp3EncodeProcess.h"
#include "jobs/WMAEncodeProcess.h"
#include "platform/CdDrives.h"
#include "platform/Dialogs.h"
#include "platform/NativePath.h"
#include "runner/JobItems.h"
#include "runner/JobRunner.h"

#include <QEventLoop>

#include <cerrno>
#include <sys/stat.h>

namespace dw {

namespace {

// The text of a message as shown; the English one when the language file
// lacks it (the window would show an empty box; a result must say something).
QString textOf(const res::Key& key)
{
    const QString shown = ResourceText(key);
    return shown.isEmpty() ? QString::fromUtf8(key.english) : shown;
}

// Closes the loop of a modal job when the engine closes, and forwards
// everything to the caller's view.
class ClosingView : public TJobView {
public:
    ClosingView(TJobView& inner, QEventLoop& loop) : inner_(inner), loop_(loop) {}
    void StageStarted(const TJobStage& stage) override { inner_.StageStarted(stage); }
    void Heading(const QString& text) override { inner_.Heading(text); }
    void StatusText(const QString& text, bool visible) override { inner_.StatusText(text, visible); }
    void Gauge(int percent) override { inner_.Gauge(percent); }
    void ShowPercent(bool show) override { inner_.ShowPercent(show); }
    void Times(const QString& elapsed, const QString& estimated) override { inner_.Times(elapsed, estimated); }
    void ItemFinished(const TJobItemResult& result) override { inner_.ItemFinished(result); }
    void Closed() override
    {
        closed = true;
        inner_.Closed();
        loop_.quit();
    }
    bool closed = false;

private:
    TJobView& inner_;
    QEventLoop& loop_;
};

}  // namespace

// ---- the disc ----

TExtractDisc::TExtractDisc(TDiscInfo& disc, DiscCacheAccess cache) : listing_(disc, std::move(cache)) {}

TExtractDisc::~TExtractDisc() = default;

TDiscProblem TExtractDisc::problem(TDiscProblem kind, const QString& message)
{
    message_ = message;
    return kind;
}

TDiscProblem TExtractDisc::Open(TRipModeChoice choice, int index)
{
    message_.clear();
    if (choice != TRipModeChoice::Ripper) {
        listing_.Show(index);
        if (listing_.CDHandle != 0) {
            if (listing_.NoAudioCd)
                return problem(TDiscProblem::NoAudioCd, textOf(res::Check_CDRom));
            if (listing_.Rows.empty()) {
                QString text = listing_.Status.isEmpty() ? textOf(res::NotRead_Cd) : listing_.Status;
                if (!listing_.ErrorDetail.isEmpty())
                    text += QStringLiteral(" (") + listing_.ErrorDetail + QLatin1Char(')');
                return problem(TDiscProblem::TocUnreadable, text);
            }
            return TDiscProblem::None;
        }
        if (choice == TRipModeChoice::Drive)
            return problem(TDiscProblem::NoDrive, textOf(res::NotFound_CDRom));
    }
    // Ripper mode: the CD input component lists the disc.
    component_ = std::make_unique<TCDIn>();
    if (component_->DrivesCount() <= 0)
        return problem(TDiscProblem::NoComponentDrive, textOf(res::Get_CDHandle));
    if (!IsAudioCdDrive(DiscListing::DrivePathAt(index)))
        return problem(TDiscProblem::NoAudioCd, textOf(res::Check_CDRom));
    DiscListing::SelectComponentDrive(*component_, index);
    // Listing also reads the drive name, which takes over the library's
    // jitter-correction setting for the rips.
    listing_.ListThroughComponent(*component_);
    if (listing_.Rows.empty())
        return problem(TDiscProblem::NoAudioCd, textOf(res::Check_CDRom));
    return TDiscProblem::None;
}

// ---- the command ----

bool TExtractResult::AllDone() const
{
    for (const TCDRipItem& item : Items)
        if (item.Result.outcome != TJobItemResult::Outcome::Done)
            return false;
    return Ran && !Stopped;
}

TExtract::TExtract(TExtractDisc& disc, TJobView& view, TMp3EncodeProcess* lame, TWMAEncodeProcess* wma)
    : disc_(disc), view_(view), lame_(lame), wma_(wma)
{
    if (!lame_) {
        ownLame_ = std::make_unique<TMp3EncodeProcess>();
        lame_ = ownLame_.get();
    }
    if (!wma_) {
        ownWma_ = std::make_unique<TWMAEncodeProcess>();
        wma_ = ownWma_.get();
    }
}

TExtract::~TExtract() = default;

void TExtract::Stop()
{
    stopAsked_ = true;
    if (engine_)
        engine_->Stop();
    if (runner_)
        runner_->Stop();
}

bool TExtract::checks(const TJobConfig& config, TExtractResult& result)
{
    Dialogs& dialogs = CurrentDialogs();
    auto refuse = [&](const QString& text) {
        dialogs.information(text);
        result.Message = text;
        return false;
    };
    bool ticked = false;
    for (const TrackRow& row : disc_.Rows())
        ticked = ticked || row.checked;
    if (!ticked)
        return refuse(textOf(res::Select_Track));

    const QString folder = config.Options.OutputFolder;
    if (folder.isEmpty())
        return refuse(textOf(res::Directory_Not_Exist) + textOf(res::Check_Output));
    if (!IsDirectory(folder)) {
        const QString question = folder + QLatin1Char(',') + textOf(res::Directory_Not_Exist) + QLatin1Char('\n')
                                 + textOf(res::Create_Directory);
        if (!dialogs.askYesNo(question, Answer::Yes, MessageIcon::Information)) {
            result.Message = question;
            return false;
        }
        // One level, as asked.
        if (::mkdir(NativePath(folder).constData(), 0777) != 0 && !IsDirectory(folder)) {
            const QString text = QStringLiteral("Cannot create ") + folder + QStringLiteral(": ") + SystemReason(errno);
            dialogs.error(text);
            result.Message = text;
            return false;
        }
    }
    if (!disc_.DriveMode() && (!disc_.Component() || disc_.Component()->DrivesCount() <= 0))
        return refuse(textOf(res::Get_CDHandle));
    if (ChecksPassed)
        ChecksPassed();
    if (config.Options.EnableRipTime && config.Options.RipTime == 0)
        return refuse(textOf(res::Select_0));
    return true;
}

TExtractResult TExtract::Run(const TJobConfig& config)
{
    TExtractResult result;
    result.DriveMode = disc_.DriveMode();
    if (!checks(config, result))
        return result;
    const QStringList items = BuildJobList(disc_.Rows());
    // The folder may have gone while the questions were asked.
    if (!IsDirectory(config.Options.OutputFolder)) {
        result.Message = textOf(res::Directory_Not_Exist) + textOf(res::Check_Output);
        CurrentDialogs().information(result.Message);
        return result;
    }
    result.Ran = true;
    // The list's titles as they stand now (renamed or looked up since the
    // disc was listed) are what the tracks' tags carry; the job items hold
    // only their file-name form.
    TJobConfig run = config;
    for (const TrackRow& row : disc_.Rows()) {
        if (row.track >= 1 && row.track < int(run.Disc.DiscTitles.size()))
            run.Disc.DiscTitles[std::size_t(row.track)] = row.title;
    }
    result.Disc = run.Disc;
    if (result.DriveMode)
        runDrive(items, run, result);
    else
        runRipper(items, run, result);
    return result;
}

void TExtract::runRipper(const QStringList& items, const TJobConfig& config, TExtractResult& result)
{
    QEventLoop loop;
    ClosingView view(view_, loop);
    TCDRipEngine engine(*disc_.Component(), TCDRipSettings::FromConfig(config), view, *lame_, *wma_);
    engine_ = &engine;
    engine.Start(items);
    if (stopAsked_)
        engine.Stop();
    if (!view.closed)
        loop.exec();
    engine_ = nullptr;
    result.Stopped = engine.WasStopped();
    result.Items = engine.Items();
}

void TExtract::runDrive(const QStringList& items, const TJobConfig& config, TExtractResult& result)
{
    QEventLoop loop;
    ClosingView view(view_, loop);
    TJobRunner runner(jkRipTracks, disc_.Listing().CDHandle, items, config, view, TJobEncoders{lame_, wma_});
    runner.SetEndOnStall(endOnStall_);
    runner_ = &runner;
    runner.Start();
    if (stopAsked_)
        runner.Stop();
    if (!view.closed)
        loop.exec();
    runner_ = nullptr;
    result.Stopped = runner.WasStopped() && !runner.IsStalled();
    // The runner's own names for the items' files, in the folder it writes.
    const std::vector<TJobItem> resolved = ResolveJobItems(jkRipTracks, items, config.Format());
    const QString folder = WithTrailingBackslash(config.Options.OutputFolder);
    for (std::size_t i = 0; i < resolved.size() && i < runner.Results().size(); ++i) {
        TCDRipItem item;
        item.Track = resolved[i].track;
        item.Title = resolved[i].title;
        if (item.Track != 0)
            item.WavFile = JobTrackWav(folder, resolved[i]);
        item.Result = runner.Results()[i];
        result.Items.push_back(item);
    }
}

}  // namespace dw
