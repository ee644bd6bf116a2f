#pragma once
// The recent-file lists of two media players in the registry, which the main
// window's Clear History commands delete, and whether the player runs (the
// player is asked to be closed first).

#include "platform/Registry.h"

#include <QStringList>

namespace dw {

enum class TMediaPlayer { RealPlayer, WindowsMediaPlayer };

// The process names that stand for the player's main window.
const QStringList& PlayerProcessNames(TMediaPlayer player);
bool PlayerRunning(TMediaPlayer player);

// RealPlayer: deletes the keys "...\Preferences\MostRecentClips1" .. 8 in
// order, stopping at the first that cannot be deleted. Windows Media Player:
// deletes the values File0 .. File8 of its RecentFileList key in order,
// stopping likewise (0 when the key does not exist; it is not created).
// Gives the number deleted.
int ClearPlayerHistory(TRegistry& registry, TMediaPlayer player);

// The key paths involved.
inline constexpr char RealPlayerClipsKey[] = "\\Software\\RealNetworks\\RealPlayer\\6.0\\Preferences\\";
inline constexpr char MediaPlayerRecentKey[] = "\\Software\\Microsoft\\MediaPlayer\\Player\\RecentFileList\\";

}  // namespace dw
