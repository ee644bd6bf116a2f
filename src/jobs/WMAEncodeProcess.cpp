#include "jobs/WMAEncodeProcess.h"

#include "app/ResourceText.h"
#include "app/Settings.h"
#include "jobs/EncoderCommandLines.h"
#include "jobs/EncoderOutput.h"
#include "platform/Dialogs.h"

#include <QFile>

namespace dw {

QString TWMAEncodeProcess::locateProgram() const { return WmaProgram(); }

bool TWMAEncodeProcess::reportMissingProgram()
{
    CurrentDialogs().messageBox(ResourceText(res::NoWmaEncoder), ProductCaption(), MessageIcon::Information,
                                MessageButtons::Ok, Answer::Ok);
    reportCompletion(ENC_RESULT_SKIPPED);
    return true;
}

QStringList TWMAEncodeProcess::buildArguments() { return WmaArguments(AppSettings, InputFile, OutputFile); }

void TWMAEncodeProcess::parseLines(const QStringList& lines)
{
    const WmaParseResult r = ParseWmaOutput(lines, elapsedSeconds());
    for (const ProgressUpdate& u : r.progress)
        postProgress(u);
    if (r.errorLine)
        failWithLine(ENC_RESULT_ERROR_LINE, *r.errorLine);
}

void TWMAEncodeProcess::removePartialOutput()
{
    TEncodeProcess::removePartialOutput();
    // The tool writes beside the target under this name until the file is complete.
    if (!ItemOutput().isEmpty())
        QFile::remove(ItemOutput() + QStringLiteral(".part"));
}

}  // namespace dw
