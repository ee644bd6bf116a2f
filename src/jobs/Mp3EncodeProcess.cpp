#include "jobs/Mp3EncodeProcess.h"

#include "jobs/EncoderCommandLines.h"
#include "jobs/EncoderItemChecks.h"

namespace dw {

int TMp3EncodeProcess::ProgressColumn() const
{
    return EncodeMode ? encodeParser_.progressColumn() : decodeParser_.progressColumn();
}

bool TMp3EncodeProcess::asksBeforeOverwrite() const { return JobKind != jkRipTracks && JobKind != jkRecordingToMp3; }

QString TMp3EncodeProcess::locateProgram() const { return LameProgram(); }

QStringList TMp3EncodeProcess::buildArguments(const QString& outputPath)
{
    return LameArguments(options_, EncodeMode, InputFile, outputPath);
}

EncoderInputKind TMp3EncodeProcess::inputKind() const
{
    return EncodeMode ? EncoderInputKind::Wav : EncoderInputKind::Mp3;
}

void TMp3EncodeProcess::resetParser()
{
    encodeParser_.reset();
    decodeParser_.reset();
}

void TMp3EncodeProcess::parseLines(const QStringList& lines)
{
    const std::vector<ProgressUpdate> updates =
        EncodeMode ? encodeParser_.parse(lines) : decodeParser_.parse(lines, elapsedSeconds());
    for (const ProgressUpdate& u : updates)
        postProgress(u);
}

}  // namespace dw
