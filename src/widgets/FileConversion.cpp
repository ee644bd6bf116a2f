#include "widgets/FileConversion.h"

#include "platform/Dialogs.h"
#include "runner/ConversionChecks.h"

namespace dw {

QString ConversionFilter(TJobKind kind)
{
    if (kind == jkMp3ToWav)
        return QStringLiteral("MP3 file(*.mp3)|*.mp3| Any file(*.*)|*.*");
    // The FLAC and Opus jobs read these four kinds by their content.
    if (kind == jkToFlac || kind == jkToOpus)
        return QStringLiteral("Sound file(*.wav;*.flac;*.opus;*.ogg)|*.wav;*.flac;*.opus;*.ogg| Any file(*.*)|*.*");
    return QStringLiteral("Sound file(*.wav)|*.wav| Any file(*.*)|*.*");
}

bool ConversionMayStart(TJobKind kind, const QString& folder, Dialogs& dialogs)
{
    const std::optional<TJobFailure> refusal = CheckConversion(kind, folder, TMissingFolder::Refuse);
    if (!refusal)
        return true;
    // A missing output folder is a hint about the setting; the rest are errors.
    if (refusal->kind == TJobFailure::Kind::Refused)
        dialogs.information(refusal->Text());
    else
        dialogs.error(refusal->Text());
    return false;
}

void ReportConversionFailure(const std::exception& error, Dialogs& dialogs)
{
    const QString reason = QString::fromLocal8Bit(error.what());
    dialogs.error(reason.isEmpty() ? QStringLiteral("The conversion could not be started.") : reason);
}

}  // namespace dw
