#include "platform/VolumeMixer.h"

#include <QProcess>
#include <QStandardPaths>

namespace dw {

const QStringList& VolumeMixerPrograms()
{
    static const QStringList programs{"pavucontrol", "pavucontrol-qt", "pwvucontrol", "mate-volume-control",
                                      "xfce4-mixer", "kmix", "qasmixer", "gnome-alsamixer"};
    return programs;
}

QString FindVolumeMixer()
{
    for (const QString& program : VolumeMixerPrograms()) {
        const QString path = QStandardPaths::findExecutable(program);
        if (!path.isEmpty())
            return path;
    }
    return {};
}

bool StartVolumeMixer(QString* error)
{
    const QString mixer = FindVolumeMixer();
    if (mixer.isEmpty()) {
        if (error)
            *error = QStringLiteral("No volume control found; install one of: ") +
                     VolumeMixerPrograms().join(QStringLiteral(", "));
        return false;
    }
    // Its own process with an empty argument list: never through a shell.
    if (!QProcess::startDetached(mixer, {})) {
        if (error)
            *error = mixer + QStringLiteral(": cannot be started");
        return false;
    }
    return true;
}

}  // namespace dw
