#include "runner/Extract.h"

#include "app/Helpers.h"
#include "app/OutputFormats.h"
#include "app/ResourceText.h"
#include "cd/CDIn.h"
#include "cd/DriveTrackSource.h"
#include "jobs/Mp3EncodeProcess.h"
#include "jobs/WMAEncodeProcess.h"
#include "platform/CdDrives.h"
#include "platform/Dialogs.h"
#include "platform/NativePath.h"
#include "runner/JobItems.h"

#include <QTimer>

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

// Forwards everything to the caller's view and tells the command when the
// engine has closed.
class TExtract::ClosingView : public TJobViewRelay {
public:
    ClosingView(TJobView& inner, TExtract& owner) : TJobViewRelay(inner, [&owner] { owner.closed(); }) {}
};

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
    if (ending_)
        return;  // closed already
    if (engine_)
        engine_->Stop();
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

void TExtract::Start(const TJobConfig& config, TEnd onEnd)
{
    onEnd_ = std::move(onEnd);
    result_ = TExtractResult{};
    result_.DriveMode = disc_.DriveMode();
    if (!checks(config, result_)) {
        deliver();
        return;
    }
    const QStringList items = BuildJobList(disc_.Rows());
    // The folder may have gone while the questions were asked.
    if (!IsDirectory(config.Options.OutputFolder)) {
        result_.Message = textOf(res::Directory_Not_Exist) + textOf(res::Check_Output);
        CurrentDialogs().information(result_.Message);
        deliver();
        return;
    }
    result_.Ran = true;
    // The list's titles as they stand now (renamed or looked up since the
    // disc was listed) are what the tracks' tags carry; the job items hold
    // only their file-name form.
    TJobConfig run = config;
    for (const TrackRow& row : disc_.Rows()) {
        if (row.track >= 1 && row.track < int(run.Disc.DiscTitles.size()))
            run.Disc.DiscTitles[std::size_t(row.track)] = row.title;
    }
    result_.Disc = run.Disc;
    items_ = items;
    config_ = run;
    closingView_ = std::make_unique<ClosingView>(view_, *this);
    if (result_.DriveMode)
        runDrive(items, run);
    else
        runRipper(items, run);
}

void TExtract::runRipper(const QStringList& items, const TJobConfig& config)
{
    engine_ = std::make_unique<TCDRipEngine>(*disc_.Component(), TCDRipSettings::FromConfig(config), *closingView_,
                                             *lame_, *wma_);
    engine_->Start(items);
    if (stopAsked_)
        engine_->Stop();
}

void TExtract::runDrive(const QStringList& items, const TJobConfig& config)
{
    // The same engine as in ripper mode, reading through the drive library,
    // with drive mode's message boxes and its end of a stalled job.
    TCDRipSettings settings = TCDRipSettings::FromConfig(config);
    settings.Id3v1 = config.Options.Use;
    engine_ = std::make_unique<TCDRipEngine>(std::make_unique<TDriveTrackSource>(disc_.Listing().CDHandle),
                                             std::move(settings), *closingView_, *lame_, *wma_);
    engine_->SetDriveMode(endOnStall_);
    engine_->Start(items);
    if (stopAsked_)
        engine_->Stop();
}

void TExtract::closed()
{
    if (ending_)
        return;
    if (engine_) {
        result_.Stopped = engine_->WasStopped() && !engine_->IsStalled();
        result_.Items = engine_->Items();
    }
    deliver();
}

void TExtract::deliver()
{
    if (ending_)
        return;
    ending_ = true;
    // From the event loop, never inside the engine's handler that closed
    // the job. The engine stays until this object goes (its results are
    // read, its last handler may still be on the stack).
    QTimer::singleShot(0, &context_, [this] {
        const TExtractResult result = std::move(result_);
        const TEnd onEnd = std::move(onEnd_);
        if (onEnd)
            onEnd(result);
    });
}

}  // namespace dw
