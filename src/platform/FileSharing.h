#pragma once
// Emulation of file sharing modes between our own file streams with
// open-file-description locks, and the "file in use" test.

#include <QString>

namespace dw {

enum ShareBits : unsigned {
    ShareNone = 0,
    ShareRead = 1,   // others may open for reading
    ShareWrite = 2,  // others may open for writing
};
enum AccessBits : unsigned {
    AccessRead = 1,
    AccessWrite = 2,
};

// Registers the open file description fd as holding `access` while allowing
// others `share`, unless an existing open of the same file forbids it (or this
// one forbids an existing open). False on a conflict; the locks taken are then
// released. fd must be open for reading to hold locks; a write-only fd is
// checked but holds nothing.
bool TakeShareLocks(int fd, unsigned access, unsigned share);

// The text raised for a sharing violation.
QString SharingViolationText();

// True when path exists and cannot be opened for exclusive read-write use:
// a share lock is held on it, or another process (or another descriptor of
// this process) has it open.
bool FileInUse(const QString& path);

}  // namespace dw
