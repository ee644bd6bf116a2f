#pragma once
// Pieces the disc commands (drives, list, title, rip) share.

#include <QString>

#include "app/ResourceText.h"
#include "cli/CliCommon.h"

namespace dw::cli {

// --device PATH makes that drive or image the only one in the drive list;
// false (with error set) when the path does not exist.
bool applyDevice(const Args& args, QString& error);

// A message as the window shows it (shown, or the message in the current
// language when shown is omitted). A language file that lacks the message
// leaves the window's text empty; the command line still needs a readable
// line, so it falls back to the English text then.
QString messageText(const res::Key& key, const QString& shown);
QString messageText(const res::Key& key);

}  // namespace dw::cli
