#pragma once
// The volume control: the first mixer program found on PATH is started on
// its own, without arguments (it outlives this program).

#include <QString>
#include <QStringList>

namespace dw {

// Mixer programs in order of preference.
const QStringList& VolumeMixerPrograms();

// The full path of the first mixer on PATH; empty when there is none.
QString FindVolumeMixer();

// Starts it; false with *error when none is installed or it does not start.
bool StartVolumeMixer(QString* error = nullptr);

}  // namespace dw
