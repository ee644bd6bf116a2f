#include "support/CdImages.h"

#include "support/TestSupport.h"

#include <QProcess>

#include <stdexcept>

namespace dwtest {

int runCdImageTool(const QStringList& args, QByteArray* errorOutput)
{
    QProcess p;
    p.start(binDir() + "/dw-cdimage", args);
    if (!p.waitForStarted(10000))
        return -1;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished(5000);
        return -1;
    }
    if (errorOutput)
        *errorOutput = p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QString makeCdImageFrom(const QString& dir, const QStringList& lengths, const CdImageOptions& options)
{
    const QString cue = dir + "/" + options.name + ".cue";
    QStringList args{cue};
    for (const QString& l : lengths)
        args << "--track" << l;
    if (options.silence)
        args << "--silence";
    if (!options.dataTrack.isEmpty()) {
        args << "--data-track" << options.dataTrack;
        if (options.dataFirst)
            args << "--data-first";
    }
    if (options.firstTrack != 1)
        args << "--first-track" << QString::number(options.firstTrack);
    QByteArray err;
    const int rc = runCdImageTool(args, &err);
    if (rc != 0)
        throw std::runtime_error("dw-cdimage failed (" + std::to_string(rc) + "): " + err.toStdString());
    return cue;
}

QString makeCdImage(const QString& dir, const std::vector<int>& seconds, const CdImageOptions& options)
{
    QStringList lengths;
    for (int s : seconds)
        lengths << QString::number(s);
    return makeCdImageFrom(dir, lengths, options);
}

QString binPathOf(const QString& cuePath)
{
    QString p = cuePath;
    if (p.endsWith(".cue"))
        p.chop(4);
    return p + ".bin";
}

}  // namespace dwtest
