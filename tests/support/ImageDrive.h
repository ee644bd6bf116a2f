#pragma once
// Opens a CD image as the only drive of the drive library: the image's cue
// sheet is made the one explicit device, listed and opened. Header-only: for
// tests that link the CD module.

#include "cd/DriveLibrary.h"
#include "cd/DriveRecords.h"
#include "platform/CdDrives.h"

#include <QString>

namespace dwtest {

// The drive library's handle of the image's drive; 0 when it cannot be opened.
inline int openImageDrive(const QString& cue)
{
    dw::SetExplicitCdDevices({cue});
    dw::CdListRecord list{};
    list[0] = 8;
    if (dw::GetCDList(list) != 1)
        return 0;
    dw::OpenRequestRecord request{};
    dw::EncodeOpenRequest(dw::OpenRequest{}, request);
    return dw::GetCDHandle(request);
}

}  // namespace dwtest
