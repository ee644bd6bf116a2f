#include "runner/ConversionChecks.h"

#include "app/ResourceText.h"
#include "jobs/EncoderCommandLines.h"
#include "platform/NativePath.h"
#include "runner/JobItems.h"
#include "app/Helpers.h"

#include <QStringList>

#include <cerrno>

#include <sys/stat.h>

namespace dw {

TJobKind ConversionKindFor(TOutputFormat format)
{
    switch (format) {
    case TOutputFormat::Mp3: return jkWavToMp3;
    case TOutputFormat::Wav: return jkMp3ToWav;
    case TOutputFormat::Ogg: return jkWavToOgg;
    case TOutputFormat::Wma: return jkWavToWma;
    case TOutputFormat::Flac: return jkToFlac;
    case TOutputFormat::Opus: return jkToOpus;
    }
    return jkWavToMp3;
}

TOutputFormat JobOutputFormat(TJobKind kind, TOutputFormat ripFormat)
{
    switch (kind) {
    case jkRipTracks: return ripFormat;
    case jkWavToMp3:
    case jkRecordingToMp3: return TOutputFormat::Mp3;
    case jkMp3ToWav: return TOutputFormat::Wav;
    case jkWavToOgg: return TOutputFormat::Ogg;
    case jkWavToWma: return TOutputFormat::Wma;
    case jkToFlac: return TOutputFormat::Flac;
    case jkToOpus: return TOutputFormat::Opus;
    }
    return TOutputFormat::Wav;
}

bool JobWritesReplayGain(TJobKind kind, TOutputFormat ripFormat, bool replayGainOn)
{
    return replayGainOn && FormatInfo(JobOutputFormat(kind, ripFormat)).replayGain;
}

namespace {

// The names of the formats whose entry says replayGain == carries, in table order.
QStringList formatNames(bool carries, bool lowerCase)
{
    QStringList names;
    for (const TOutputFormatInfo& info : OutputFormats())
        if (info.replayGain == carries) {
            const QString name = QString::fromLatin1(info.name);
            names << (lowerCase ? name.toLower() : name.toUpper());
        }
    return names;
}

QString sentenceList(QStringList names, const QString& lastJoin)
{
    if (names.size() < 2)
        return names.join(QString());
    const QString last = names.takeLast();
    return names.join(QStringLiteral(", ")) + lastJoin + last;
}

}  // namespace

QString ReplayGainFormatNames(const QString& lastJoin)
{
    return sentenceList(formatNames(true, true), lastJoin);
}

QString NoReplayGainReason()
{
    return sentenceList(formatNames(false, false), QStringLiteral(" and ")) +
           QStringLiteral(" files carry no ReplayGain values");
}

std::optional<TJobFailure> CheckConversion(TJobKind kind, const QString& folderSetting, TMissingFolder missing)
{
    // The setting's trailing separator would turn "a file where the folder
    // should be" into "missing": the folder is checked by its own name.
    QString outputFolder = folderSetting;
    while (outputFolder.size() > 1 && outputFolder.endsWith(QLatin1Char('/')))
        outputFolder.chop(1);
    const TPathInfo info = StatPath(outputFolder);
    if (outputFolder.isEmpty() || !info.exists) {
        if (missing == TMissingFolder::Refuse || outputFolder.isEmpty())
            return TJobFailure{TJobFailure::Kind::Refused, QString(),
                               ResourceText(res::Directory_Not_Exist) + ResourceText(res::Check_Output)};
        // One level, as a rip makes its own folder.
        if (::mkdir(NativePath(outputFolder).constData(), 0777) != 0) {
            const int error = errno;
            if (!IsDirectory(outputFolder))
                return TJobFailure{TJobFailure::Kind::Write, QString(),
                                   QStringLiteral("Cannot create ") + outputFolder + QStringLiteral(": ") +
                                       SystemReason(error)};
        }
    }
    QString reason;
    if (!FolderWritable(outputFolder, &reason))
        return TJobFailure{TJobFailure::Kind::Write, QString(), reason};
    const bool lame = kind == jkWavToMp3 || kind == jkMp3ToWav || kind == jkRecordingToMp3;
    if (lame && LameProgram().isEmpty())
        return TJobFailure{TJobFailure::Kind::Encode, QString(), LameNotFoundText()};
    return std::nullopt;
}

QStringList ExistingConversionOutputs(TJobKind kind, const QString& outputFolder, const QStringList& files)
{
    QStringList outputs;
    if (kind == jkRipTracks || kind == jkRecordingToMp3)
        return outputs;
    const QString out = WithTrailingBackslash(outputFolder);
    for (const QString& input : files) {
        const QString output = JobFileOutput(kind, out, input);
        if (outputs.contains(output) || !StatPath(output).exists)
            continue;
        bool isInput = false;
        for (const QString& other : files)
            isInput = isInput || other == output || SameFile(other, output);
        if (!isInput)
            outputs << output;
    }
    return outputs;
}

}  // namespace dw
