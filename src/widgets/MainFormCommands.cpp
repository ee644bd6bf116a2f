// The main window's commands that open other windows or reach the platform:
// extract, file conversions, options, the tray, the mixer, the players'
// histories and CD playback.
#include "widgets/MainForm.h"

#include "app/ResourceText.h"
#include "app/Settings.h"
#include "platform/Dialogs.h"

#include <QDir>

namespace dw {

void TMainForm::runExtract()
{
    // Bound to the extract policy of the core (runner/Extract) and its job
    // windows once they are part of the build.
}

void TMainForm::runFileConversion(int jobKind)
{
    // Bound to the job runner and its window once they are part of the build.
    Q_UNUSED(jobKind);
}

void TMainForm::runOptionsDialog()
{
    // Bound to the options dialog once it is part of the build.
}

void TMainForm::ejectTray(bool open)
{
    // Door commands go through the CD audio device layer (ignored for images).
    Q_UNUSED(open);
}

void TMainForm::startVolumeControl()
{
    // Started through the platform's mixer lookup.
}

void TMainForm::clearHistory(PlayerHistory player)
{
    // Done over the registry and process layers of the platform.
    Q_UNUSED(player);
}

void TMainForm::playDevice(int row, bool resume)
{
    // Playback through the CD audio device layer; its errors are swallowed.
    Q_UNUSED(row);
    Q_UNUSED(resume);
}

void TMainForm::pauseDevice()
{
}

void TMainForm::stopDevice()
{
}

}  // namespace dw
