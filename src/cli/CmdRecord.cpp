// discwright-cli record: a recording from the default capture device into a
// WAV file for a given time, through the recorder engine's session (the file
// policy the recorder window uses: a work file, finished and then kept under
// the final name). Ctrl-C or SIGTERM ends it early with a whole, correctly
// sized file; a device that fails or a full disk ends it with what reached
// the disk.

#include "cli/CliCommon.h"
#include "cli/Commands.h"
#include "platform/NativePath.h"
#include "platform/WaveAudioDevice.h"
#include "record/RecordSession.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTimer>

namespace dw::cli {

namespace {

const char kUsage[] =
    "usage: discwright-cli record OUT.wav --seconds N [--rate HZ] [--channels 1|2] [--bits 8|16] [--overwrite] [--quiet]";

}  // namespace

int cmdRecord(const QStringList& argv)
{
    Args args;
    QString error;
    if (!parseArgs(argv, {"seconds", "rate", "channels", "bits"}, {"overwrite", "quiet"}, args, error))
        return fail(error, 2);
    if (args.positional.size() != 1 || !args.has("seconds"))
        return fail(kUsage, 2);
    const QString outPath = args.positional[0];
    int seconds = 0;
    TWaveAudioFormat format;
    if (!parseInt(args.value("seconds"), seconds) || seconds < 1 || seconds > 24 * 3600)
        return fail("--seconds must be a whole number from 1 to 86400", 2);
    if (args.has("rate") && (!parseInt(args.value("rate"), format.sampleRate) || format.sampleRate < 1000 ||
                             format.sampleRate > 384000))
        return fail("--rate must be a whole number of Hz from 1000 to 384000", 2);
    if (args.has("channels") &&
        (!parseInt(args.value("channels"), format.channels) || format.channels < 1 || format.channels > 2))
        return fail("--channels must be 1 or 2", 2);
    if (args.has("bits") && (!parseInt(args.value("bits"), format.bits) || (format.bits != 8 && format.bits != 16)))
        return fail("--bits must be 8 or 16", 2);
    if (QFileInfo(outPath).suffix().toLower() != QLatin1String("wav"))
        return fail(QString("%1: the recording is a WAV file; name it .wav").arg(outPath), 2);
    if (IsDirectory(outPath))
        return fail(QString("%1: %2").arg(outPath, SystemReason(EISDIR)));
    if (PathExists(outPath) && !args.has("overwrite"))
        return fail(QString("%1 exists (use --overwrite to replace it)").arg(outPath));

    // The recording is made in a hidden work file beside the output and moved
    // into place at the end, so an existing output is replaced only by a recording.
    const QFileInfo outInfo(outPath);
    const QString work = outInfo.path() + "/." + outInfo.fileName() + ".recording.wav";
    TWaveAudioDevice device;
    TRecordSession session(device);
    // Whatever ends the command early, the work file does not stay behind.
    const auto discard = qScopeGuard([&] { session.Discard(); });
    if (!session.Begin(work, format, &error))
        return fail(error);
    QEventLoop loop;
    QString failure;
    bool ended = false;
    QObject::connect(&session, &TRecordSession::ended, &loop, [&](const QString& reason) {
        failure = reason;
        ended = true;
        loop.quit();
    });
    StopSignals stop;
    if (!session.Record(0, int64_t(seconds) * 1000, &error))
        return fail(error);

    ProgressBar bar(QStringLiteral("Recording"), args.has("quiet"));
    bool stopped = false;
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (StopSignals::requested()) {
            stopped = true;
            loop.quit();
            return;
        }
        bar.update(int(device.Length() * 100 / (int64_t(seconds) * 1000)));
    });
    poll.start();
    if (!ended)
        loop.exec();
    poll.stop();
    // The capture's worker writes the last audio on its own thread; its end
    // comes through the event loop.
    session.Stop();
    if (session.Stopping()) {
        QEventLoop stopping;
        QObject::connect(&session, &TRecordSession::stopped, &stopping, &QEventLoop::quit);
        stopping.exec();
    }
    const bool saved = session.Finish(&error);
    const int64_t recordedMs = device.Length();
    bar.finish();
    if (!saved)
        return fail(QString("the recording could not be saved: %1").arg(error));
    if (!session.KeepAs(outPath, &error))
        return fail(error);

    const QString held = QString("%1 holds the %2 s recorded").arg(outPath).arg(double(recordedMs) / 1000.0, 0, 'f', 1);
    if (!failure.isEmpty())
        return fail(QString("recording ended early: %1; %2").arg(failure, held));
    if (stopped)
        return fail(QString("stopped by %1; %2").arg(StopSignals::signalName(), held), kStoppedStatus);
    return 0;
}

}  // namespace dw::cli
