#include "record/RecordSession.h"

#include "platform/NativePath.h"
#include "record/RecordFiles.h"

namespace dw {

TRecordSession::TRecordSession(TWaveAudioDevice& device, QObject* parent) : QObject(parent), device_(device)
{
    connect(&device_, &TWaveAudioDevice::recordingLimitReached, this, [this] {
        recording_ = false;
        emit ended(QString());
    });
    connect(&device_, &TWaveAudioDevice::deviceFailed, this, [this](const QString& reason) {
        // Only a recording's end is this session's concern; playback has its own handler.
        if (!recording_)
            return;
        recording_ = false;
        emit ended(reason);
    });
    connect(&device_, &TWaveAudioDevice::recordingStopped, this, [this] {
        if (!recording_)
            return;
        recording_ = false;
        emit stopped();
    });
}

bool TRecordSession::Begin(const QString& workFile, const TWaveAudioFormat& format, QString* error)
{
    device_.Close();
    work_ = workFile;
    if (!WriteEmptyWave(work_, format, error))
        return false;
    if (!device_.Open(work_)) {
        if (error)
            *error = device_.Error();
        return false;
    }
    return true;
}

bool TRecordSession::Record(int64_t fromMs, std::optional<int64_t> maxMs, QString* error)
{
    if (device_.Record(fromMs, maxMs)) {
        recording_ = true;
        return true;
    }
    if (error)
        *error = device_.Error();
    return false;
}

void TRecordSession::Stop()
{
    device_.Stop();
}

bool TRecordSession::Finish(QString* error)
{
    recording_ = false;
    device_.Stop();
    if (device_.Save())
        return true;
    if (error)
        *error = device_.Error();
    return false;
}

bool TRecordSession::KeepAs(const QString& target, QString* error)
{
    recording_ = false;
    const QString from = device_.IsOpen() ? device_.FileName() : work_;
    device_.Close();
    return MoveWholeFile(from, target, error);
}

void TRecordSession::Discard()
{
    recording_ = false;
    device_.Close();
    if (!work_.isEmpty() && PathExists(work_))
        RemoveFile(work_);
}

}  // namespace dw
