#include "jobs/WMAEncodeProcess.h"

#include "app/ResourceText.h"
#include "jobs/EncoderCommandLines.h"
#include "jobs/EncoderItemChecks.h"
#include "jobs/EncoderOutput.h"
#include "platform/Dialogs.h"

#include <QMetaObject>

namespace dw {

QString TWMAEncodeProcess::locateProgram() const { return WmaProgram(); }

bool TWMAEncodeProcess::reportMissingProgram()
{
    const QString text = ResourceText(res::NoWmaEncoder);
    reportCompletion(ENC_RESULT_SKIPPED, {}, TJobFailure{TJobFailure::Kind::Encode, {}, text});
    // The box is not opened inside the job's handling (the job would be
    // re-entered while it waits for the user): it follows from the receiver's
    // event loop once the handler has returned, and only while the receiver
    // still exists. Items that miss the tool before it is closed add no box.
    if (!NotifyWindow || *noticePending_)
        return true;
    *noticePending_ = true;
    QMetaObject::invokeMethod(
        NotifyWindow.data(),
        [pending = noticePending_, text] {
            CurrentDialogs().messageBox(text, ProductCaption(), MessageIcon::Information, MessageButtons::Ok,
                                        Answer::Ok);
            *pending = false;
        },
        Qt::QueuedConnection);
    return true;
}

QStringList TWMAEncodeProcess::buildArguments(const QString& outputPath)
{
    return WmaArguments(options_, disc_, InputFile, outputPath);
}

EncoderInputKind TWMAEncodeProcess::inputKind() const { return EncoderInputKind::Wav; }

void TWMAEncodeProcess::parseLines(const QStringList& lines)
{
    const WmaParseResult r = ParseWmaOutput(lines, elapsedSeconds());
    for (const ProgressUpdate& u : r.progress)
        postProgress(u);
    if (r.errorLine)
        failWithLine(ENC_RESULT_ERROR_LINE, *r.errorLine);
}

}  // namespace dw
