#pragma once
// Opening a file the program reads (an audio input, a tag's file). Inputs
// are regular files: a FIFO, a device, a socket or a folder is refused
// naming the path and what it is, and nothing here can block (a FIFO
// without a writer would hold open() and every read after it forever).
//
// Thread-safe (functions over the path given).

#include "platform/FdIo.h"

#include <QString>

namespace dw {

// Empty when path (after following symbolic links) is an existing regular
// file; otherwise "<path>: <reason>": the system's reason when it cannot be
// looked up, "Is a directory" for a folder, and "is a FIFO, not a regular
// file" (character device, block device, socket) for the other kinds.
QString CheckInputFile(const QString& path);

// Opens path read-only, close-on-exec, without becoming its controlling
// terminal and without blocking, and keeps it only when it is a regular file
// (checked before the open, so no device is opened, and again on the open
// descriptor, so a name swapped meanwhile is caught).
// The descriptor is returned in blocking mode. On failure the UniqueFd is
// empty and *message (when given) holds the line CheckInputFile would give.
UniqueFd OpenInputFile(const QString& path, QString* message = nullptr);

}  // namespace dw
