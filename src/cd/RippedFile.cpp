#include "cd/RippedFile.h"

#include "platform/NativePath.h"
#include "platform/OutputFile.h"

#include <cerrno>

namespace dw {

TFinishStatus FinishRippedFile(TOutputFile& raw, const TRipSettings& settings, const ScaleProgress& progress,
                               QString& error, const std::function<void()>& normalizing)
{
    if (!settings.IsNormalize) {
        if (raw.Commit(settings.Overwrite))
            return TFinishStatus::Done;
        error = raw.Error();
        return TFinishStatus::Failed;
    }
    if (normalizing)
        normalizing();
    TOutputFile scaled(raw.FinalPath());
    if (!scaled.Create()) {
        error = scaled.Error();
        return TFinishStatus::Failed;
    }
    try {
        if (!ScaleWaveInto(settings.NormalizePercent, raw.TempPath(), scaled, progress))
            return TFinishStatus::Stopped;
    } catch (const IoError& e) {
        error = QString::fromUtf8(e.what());
        return TFinishStatus::Failed;
    }
    raw.Discard();
    if (!scaled.Commit(settings.Overwrite)) {
        error = scaled.Error();
        return TFinishStatus::Failed;
    }
    return TFinishStatus::Done;
}

bool OutputTaken(const QString& path, const TRipSettings& settings, QString& error)
{
    if (settings.Overwrite || !PathExists(path))
        return false;
    error = path + QStringLiteral(": ") + SystemReason(EEXIST);
    return true;
}

}  // namespace dw
