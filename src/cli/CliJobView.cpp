#include "cli/CliJobView.h"

#include "cli/CliCommon.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>

namespace dw::cli {

QString OutcomeName(TJobItemResult::Outcome outcome)
{
    switch (outcome) {
    case TJobItemResult::Outcome::Done: return QStringLiteral("done");
    case TJobItemResult::Outcome::Failed: return QStringLiteral("failed");
    case TJobItemResult::Outcome::Skipped: return QStringLiteral("skipped");
    case TJobItemResult::Outcome::Stopped: return QStringLiteral("stopped");
    }
    return {};
}

void PrintJsonLine(const QJsonObject& o)
{
    std::fputs(QJsonDocument(o).toJson(QJsonDocument::Compact).constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

CliJobView::CliJobView(bool json, bool quiet) : json_(json), quiet_(quiet) {}

CliJobView::~CliJobView() = default;

void CliJobView::StageStarted(const TJobStage& stage)
{
    item_ = stage.number;
    percent_ = -1;
    elapsed_.clear();
    estimated_.clear();
    if (json_) {
        PrintJsonLine({{"event", "stage"}, {"stage", stage.Caption()}, {"item", stage.number},
                       {"count", stage.count}});
        return;
    }
    if (bar_)
        bar_->finish();
    bar_ = std::make_unique<ProgressBar>(stage.Caption(), quiet_);
    bar_->update(0);
}

void CliJobView::Times(const QString& elapsed, const QString& estimated)
{
    elapsed_ = elapsed;
    estimated_ = estimated;
}

void CliJobView::Gauge(int percent)
{
    if (percent == percent_)
        return;
    percent_ = percent;
    if (json_)
        PrintJsonLine({{"event", "progress"}, {"item", item_}, {"percent", percent}, {"elapsed", elapsed_},
                       {"estimated", estimated_}});
    else if (bar_)
        bar_->update(percent, elapsed_.isEmpty() ? QString() : elapsed_ + " / " + estimated_);
}

void CliJobView::ItemFinished(const TJobItemResult& r)
{
    // A ripper-mode rip reports an item while the next track is already
    // being read: that track's bar stays (on a line of its own after an
    // error line).
    const bool ownBar = r.index + 1 == item_;
    const bool problem = r.outcome == TJobItemResult::Outcome::Failed || r.outcome == TJobItemResult::Outcome::Skipped;
    if (bar_ && (ownBar || problem))
        bar_->finish();
    if (ownBar)
        bar_.reset();
    if (json_) {
        QJsonObject o{{"event", "item"}, {"item", r.index + 1}, {"name", r.name},
                      {"result", OutcomeName(r.outcome)}, {"outputs", QJsonArray::fromStringList(r.outputs)}};
        if (!r.message.isEmpty())
            o.insert("message", r.message);
        PrintJsonLine(o);
    }
    if (r.outcome == TJobItemResult::Outcome::Failed || r.outcome == TJobItemResult::Outcome::Skipped)
        fail(r.message);
}

Answer CliJobDialogs::messageBox(const QString&, const QString&, MessageIcon, MessageButtons buttons,
                                 Answer defaultAnswer)
{
    if (buttons == MessageButtons::Ok)
        return Answer::Ok;
    return AnswerFits(buttons, answer_) ? answer_ : defaultAnswer;
}

}  // namespace dw::cli
