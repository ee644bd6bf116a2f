#pragma once
// Whether a program runs, from /proc: a process matches a name when its
// command name (/proc/<pid>/comm, which the kernel cuts to 15 characters) or
// the file name of its first argument equals the name. Stands in for the
// lookup of a program's main window by its window class.
//
// Thread-safe (reads /proc afresh on every call).

#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace dw {

// True when a process other than this one runs under one of the names.
bool ProcessRunning(const QStringList& names);
inline bool ProcessRunning(const QString& name) { return ProcessRunning(QStringList{name}); }

// The names a process answers to: its command name and the file name of its
// first argument (either may be empty). Empty when the process does not exist.
QStringList ProcessNames(pid_t pid);

}  // namespace dw
