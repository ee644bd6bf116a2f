#pragma once
// Pieces the disc commands (drives, list, title, rip) share.

#include <QString>

#include "app/ResourceText.h"
#include "cli/CliCommon.h"

namespace dw::cli {

// --device PATH makes that drive or image the only one in the drive list;
// false (with error set to the file and the reason, e.g. a missing .bin or an
// unreadable cue line) when it cannot be opened.
bool applyDevice(const Args& args, QString& error);

// The path made absolute against the working folder, as pure text (names
// that are not UTF-8 stay as they are).
QString absolutePath(const QString& path);

// The line for an empty drive list: "No CD devices found!", followed by why
// the configured images could not be opened when some are named.
QString noDriveMessage();

// A message as the window shows it (shown, or the message in the current
// language when shown is omitted). A language file that lacks the message
// leaves the window's text empty; the command line still needs a readable
// line, so it falls back to the English text then.
QString messageText(const res::Key& key, const QString& shown);
QString messageText(const res::Key& key);

}  // namespace dw::cli
