#include "app/JobEvents.h"

#include "app/Helpers.h"
#include "platform/MainThread.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

namespace dw {

bool IsJobEventCode(int32_t code)
{
    switch (code) {
    case JOB_NORMALIZING:
    case JOB_RIP_DONE:
    case JOB_MP3_DONE:
    case JOB_OGG_DONE:
    case JOB_RESAMPLE_DONE:
    case JOB_WMA_DONE:
        return true;
    default:
        return false;
    }
}

JobEvent::JobEvent(std::unique_ptr<TProcessInfo> info) : QEvent(WM_JOB_EVENT), info_(std::move(info)) {}

void JobEventReceiver::customEvent(QEvent* event)
{
    if (!DispatchJobEvent(event, *this))
        QObject::customEvent(event);
}

void PostJobEvent(QObject* receiver, std::unique_ptr<TProcessInfo> info)
{
    if (!receiver || !info)
        return;
    // Qt owns a posted event; an event still queued when the receiver goes
    // away is deleted with the object it carries.
    QCoreApplication::postEvent(receiver, new JobEvent(std::move(info)));
}

void SendJobEvent(QObject* receiver, std::unique_ptr<TProcessInfo> info)
{
    if (!receiver || !info)
        return;
    if (receiver->thread() == QThread::currentThread()) {
        JobEvent event(std::move(info));
        QCoreApplication::sendEvent(receiver, &event);
        return;
    }
    QPointer<QObject> target(receiver);
    auto shared = std::make_shared<std::unique_ptr<TProcessInfo>>(std::move(info));
    Synchronize([target, shared] {
        if (!target)
            return;
        JobEvent event(std::move(*shared));
        QCoreApplication::sendEvent(target.data(), &event);
    });
}

void PostRipError(QObject* receiver, int code)
{
    if (receiver)
        QCoreApplication::postEvent(receiver, new RipErrorEvent(code));
}

void PostCddbResult(QObject* receiver, int result, int errorCode)
{
    if (receiver)
        QCoreApplication::postEvent(receiver, new CddbResultEvent(result, errorCode));
}

std::unique_ptr<TProcessInfo> MakeProcessInfo(int32_t code, int32_t result, QString elapsed, QString estimated)
{
    auto info = std::make_unique<TProcessInfo>();
    info->Code = code;
    info->Result = result;
    info->Elapsed = std::move(elapsed);
    info->Estimated = std::move(estimated);
    return info;
}

QString FormatMinutesSeconds(int64_t seconds)
{
    if (seconds < 0)
        seconds = 0;
    return FormatTwoDigits(static_cast<int>(seconds / 60)) + QLatin1Char(':') +
           FormatTwoDigits(static_cast<int>(seconds % 60));
}

namespace {

// num / den rounded to nearest, ties to even; num >= 0, den > 0.
int64_t divRoundHalfEven(int64_t num, int64_t den)
{
    int64_t q = num / den;
    const int64_t r = num % den;
    if (2 * r > den || (2 * r == den && (q & 1)))
        ++q;
    return q;
}

}  // namespace

int64_t RoundedSeconds(std::chrono::steady_clock::duration d)
{
    const int64_t us = std::chrono::duration_cast<std::chrono::microseconds>(d).count();
    if (us <= 0)
        return 0;
    return divRoundHalfEven(us, 1000000);
}

int64_t EstimatedTotalSeconds(int64_t elapsed, int32_t code)
{
    if (code <= 0 || elapsed <= 0)
        return 0;
    return divRoundHalfEven(elapsed * 100, code);
}

std::unique_ptr<TProcessInfo> MakeProgressInfo(int32_t code, int64_t elapsedSeconds)
{
    auto info = std::make_unique<TProcessInfo>();
    info->Code = code;
    if (code > 0) {
        info->Elapsed = FormatMinutesSeconds(elapsedSeconds);
        info->Estimated = FormatMinutesSeconds(EstimatedTotalSeconds(elapsedSeconds, code));
    }
    return info;
}

}  // namespace dw
