#pragma once
// What the commands that run a job (rip, convert) share: the view that draws
// the engine's stages and prints each failed item once, and the dialogs that
// keep the engines' message boxes off the terminal.

#include "platform/Dialogs.h"
#include "runner/JobView.h"

#include <QJsonObject>

#include <memory>

namespace dw::cli {

class ProgressBar;

// "done", "failed", "skipped", "stopped".
QString OutcomeName(TJobItemResult::Outcome outcome);

// One JSON object as one line on stdout, flushed at once.
void PrintJsonLine(const QJsonObject& o);

// Draws the stage caption with a bar, percent and times per stage, or one
// JSON object per event. A failed or skipped item is printed as one error
// line as it ends: its result's message, which names the file and the
// reason (the engines' message boxes, which say the same at more length,
// are not shown).
class CliJobView : public TJobView {
public:
    CliJobView(bool json, bool quiet);
    ~CliJobView() override;
    void StageStarted(const TJobStage& stage) override;
    void Times(const QString& elapsed, const QString& estimated) override;
    void Gauge(int percent) override;
    void ItemFinished(const TJobItemResult& r) override;

private:
    bool json_, quiet_;
    int item_ = 0;
    int percent_ = -1;
    QString elapsed_, estimated_;
    std::unique_ptr<ProgressBar> bar_;
};

// Shows no box: every message of a job also ends up in an item's result or
// the command's result, which the command prints once. Questions get
// `answer` when it is one of their buttons, else their default.
class CliJobDialogs : public NonInteractiveDialogs {
public:
    explicit CliJobDialogs(Answer answer) : answer_(answer) {}
    Answer messageBox(const QString& text, const QString& caption, MessageIcon icon, MessageButtons buttons,
                      Answer defaultAnswer) override;

private:
    Answer answer_;
};

}  // namespace dw::cli
