#include "jobs/WMAEncodeProcess.h"

#include "app/ResourceText.h"
#include "jobs/EncoderCommandLines.h"
#include "jobs/EncoderItemChecks.h"
#include "jobs/EncoderOutput.h"
#include "platform/Dialogs.h"

namespace dw {

QString TWMAEncodeProcess::locateProgram() const { return WmaProgram(); }

bool TWMAEncodeProcess::reportMissingProgram()
{
    CurrentDialogs().messageBox(ResourceText(res::NoWmaEncoder), ProductCaption(), MessageIcon::Information,
                                MessageButtons::Ok, Answer::Ok);
    reportCompletion(ENC_RESULT_SKIPPED);
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
