#include "platform/PlayerHistory.h"

#include "platform/Processes.h"

namespace dw {

const QStringList& PlayerProcessNames(TMediaPlayer player)
{
    static const QStringList real{"realplay", "realplay.bin", "RealPlayer", "realplayer"};
    static const QStringList wmp{"wmplayer.exe", "wmplayer"};
    return player == TMediaPlayer::RealPlayer ? real : wmp;
}

bool PlayerRunning(TMediaPlayer player) { return ProcessRunning(PlayerProcessNames(player)); }

int ClearPlayerHistory(TRegistry& registry, TMediaPlayer player)
{
    int deleted = 0;
    if (player == TMediaPlayer::RealPlayer) {
        for (int i = 1; i <= 8; ++i) {
            if (!registry.DeleteKey(QLatin1String(RealPlayerClipsKey) + "MostRecentClips" + QString::number(i)))
                break;
            ++deleted;
        }
        return deleted;
    }
    const QString key = QLatin1String(MediaPlayerRecentKey);
    if (!registry.KeyExists(key))
        return 0;
    for (int i = 0; i <= 8; ++i) {
        if (!registry.DeleteValue(key, "File" + QString::number(i)))
            break;
        ++deleted;
    }
    return deleted;
}

}  // namespace dw
