#include "app/Helpers.h"

#include "app/OutputFormats.h"
#include "platform/NativePath.h"

#include <chrono>
#include <thread>

namespace dw {

QString FormatTwoDigits(int n)
{
    if (n > 9 || n < 0)
        return QString::number(n);
    return QStringLiteral("0") + QString::number(n);
}

void WaitMs(int ms)
{
    if (ms < 1)
        return;
    // A monotonic clock, so a wait across midnight or a clock change still ends
    // after the requested time. Sleeping instead of spinning serves no events
    // either, and leaves the processor to the work being waited for.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_until(until);
}

QString WithTrailingBackslash(const QString& path)
{
    if (path.isEmpty() || path.endsWith('/'))
        return path;
    return path + '/';
}

int64_t FileSizeOrMinusOne(const QString& path)
{
    if (path.isEmpty())
        return -1;
    // Through the system's own bytes for the name, so names that are not
    // UTF-8 are found too.
    const TPathInfo info = StatPath(path);
    if (!info.exists)
        return -1;
    return info.isFile ? info.size : 0;
}

QString StripFileNameChars(const QString& text)
{
    static const QString forbidden = QStringLiteral("*/:<>?\\|");
    QString out;
    out.reserve(text.size());
    for (QChar c : text)
        if (!forbidden.contains(c))
            out += c;
    return out;
}

QString OutputFormatName(int format)
{
    const std::optional<TOutputFormat> f = OutputFormatFromStored(format);
    return f ? FormatName(*f) : QString();
}

}  // namespace dw
