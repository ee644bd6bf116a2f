// discwright-cli record: a recording from the default capture device into a
// WAV file through the recorder's device layer, for a given time. Ctrl-C or
// SIGTERM ends it early with a whole, correctly sized file; a device that
// fails or a full disk ends it with what reached the disk.

#include "cli/CliCommon.h"
#include "cli/Commands.h"
#include "platform/NativePath.h"
#include "platform/WaveAudioDevice.h"
#include "record/RecordFiles.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

namespace dw::cli {

namespace {

const char kUsage[] =
    "usage: discwright-cli record OUT.wav --seconds N [--rate HZ] [--channels 1|2] [--bits 8|16] [--overwrite] [--quiet]";

// Removes the work file unless it has been moved into place.
class WorkFileGuard {
public:
    explicit WorkFileGuard(QString path) : path_(std::move(path)) {}
    ~WorkFileGuard()
    {
        if (!path_.isEmpty())
            RemoveFile(path_);
    }
    void release() { path_.clear(); }

private:
    QString path_;
};

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
    if (!WriteEmptyWave(work, format, &error))
        return fail(error);
    WorkFileGuard guard(work);

    TWaveAudioDevice device;
    if (!device.Open(work))
        return fail(device.Error());
    QEventLoop loop;
    QString failure;
    QObject::connect(&device, &TWaveAudioDevice::recordingLimitReached, &loop, &QEventLoop::quit);
    QObject::connect(&device, &TWaveAudioDevice::deviceFailed, &loop, [&](const QString& reason) {
        failure = reason;
        loop.quit();
    });
    StopSignals stop;
    if (!device.Record(0, int64_t(seconds) * 1000))
        return fail(device.Error());

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
    loop.exec();
    poll.stop();
    device.Stop();
    const int64_t recordedMs = device.Length();
    const bool saved = device.Save();
    bar.finish();
    device.Close();
    if (!saved)
        return fail(QString("the recording could not be saved: %1").arg(device.Error()));
    if (!MoveWholeFile(work, outPath, &error))
        return fail(error);
    guard.release();

    const QString held = QString("%1 holds the %2 s recorded").arg(outPath).arg(double(recordedMs) / 1000.0, 0, 'f', 1);
    if (!failure.isEmpty())
        return fail(QString("recording ended early: %1; %2").arg(failure, held));
    if (stopped)
        return fail(QString("stopped by %1; %2").arg(StopSignals::signalName(), held), kStoppedStatus);
    return 0;
}

}  // namespace dw::cli
