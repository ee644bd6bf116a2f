#pragma once
// The lame wrapper: encodes WAV to MP3 (EncodeMode true) or decodes MP3 to
// WAV (false) with lame, posting progress 1..100 and the completion
// JOB_MP3_DONE (0 declined to overwrite, 1 output in use, 2 ended,
// 3 refused or lame failed, the reason in Elapsed). CD and recording jobs
// overwrite an existing MP3 without asking.

#include "jobs/EncodeProcess.h"
#include "app/Settings.h"
#include "jobs/EncoderOutput.h"

namespace dw {

class TMp3EncodeProcess : public TEncodeProcess {
public:
    // The options the next items are encoded with (bit rate, stereo mode,
    // VBR): set by the job before each Start, kept until set again.
    void SetOptions(const TStoredOptions& options) { options_ = options; }

    // The lame line's progress column of the current item (0 = not seen yet).
    int ProgressColumn() const;

protected:
    int32_t doneCode() const override { return JOB_MP3_DONE; }
    bool asksBeforeOverwrite() const override;
    QString locateProgram() const override;
    QStringList buildArguments(const QString& outputPath) override;
    EncoderInputKind inputKind() const override;
    void resetParser() override;
    void parseLines(const QStringList& lines) override;
    bool sendsCompletion() const override { return false; }

private:
    TStoredOptions options_;
    LameEncodeParser encodeParser_;
    LameDecodeParser decodeParser_;
};

// The reading thread of both wrappers is the same class.
using TMp3EncodeThread = class TEncodeThread;

}  // namespace dw
