#include "widgets/FileConversion.h"

#include "app/ResourceText.h"
#include "platform/Dialogs.h"

#include <QFileInfo>

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

bool CheckOutputFolder(const QString& folder, Dialogs& dialogs)
{
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        return true;
    dialogs.information(ResourceText(res::Directory_Not_Exist) + ResourceText(res::Check_Output));
    return false;
}

}  // namespace dw
