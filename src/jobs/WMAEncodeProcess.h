#pragma once
// The WMA wrapper: encodes WAV to WMA with the WM8EUTIL tool of the program
// folder. Progress 100 when the tool reports the file complete; completion
// JOB_WMA_DONE, sent (handled before the call returns): 0 declined to
// overwrite or no tool, 1 output in use, 2 ended, 3 refused or the tool
// failed without saying why (the reason in Elapsed), 8 the tool printed an
// error line (carried in Elapsed). Only CD jobs overwrite without asking.
// A missing tool's completion carries the failure (Failure, the box's text);
// the box itself is shown from the receiver's event loop after its handler
// has returned, once for items that miss the tool before it is closed.

#include "app/DiscInfo.h"
#include "app/Settings.h"
#include "jobs/EncodeProcess.h"

#include <memory>

namespace dw {

class TWMAEncodeProcess : public TEncodeProcess {
public:
    // The profile ([WMAOptions] BitRate), the tagging switch ([ID3] Use) and
    // the disc whose artist and comment the files carry, for the next items:
    // set by the job before each Start, kept until set again.
    void SetOptions(const TStoredOptions& options, const TDiscInfo& disc)
    {
        options_ = options;
        disc_ = disc;
    }

protected:
    int32_t doneCode() const override { return JOB_WMA_DONE; }
    bool asksBeforeOverwrite() const override { return JobKind != jkRipTracks; }
    QString locateProgram() const override;
    bool reportMissingProgram() override;
    QStringList buildArguments(const QString& outputPath) override;
    EncoderInputKind inputKind() const override;
    void resetParser() override {}
    void parseLines(const QStringList& lines) override;
    bool sendsCompletion() const override { return true; }

private:
    TStoredOptions options_;
    TDiscInfo disc_;
    // A missing-tool box is waiting to be shown or is open.
    std::shared_ptr<bool> noticePending_ = std::make_shared<bool>(false);
};

using TWMAEncodeThread = class TEncodeThread;

}  // namespace dw
