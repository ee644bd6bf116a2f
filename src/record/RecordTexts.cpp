#include "record/RecordTexts.h"

#include "app/Helpers.h"

#include <algorithm>

namespace dw {

QString RecordTimeText(int64_t ms)
{
    ms = std::max<int64_t>(ms, 0);
    const int64_t seconds = ms / 1000;
    return QString("%1:%2:%3.%4")
        .arg(FormatTwoDigits(int(seconds / 3600)), FormatTwoDigits(int(seconds / 60 % 60)),
             FormatTwoDigits(int(seconds % 60)))
        .arg(ms % 1000 / 100);
}

QString LengthText(int64_t ms)
{
    ms = std::max<int64_t>(ms, 0);
    const int64_t hours = ms / 3600000;
    const int64_t minutes = ms / 60000 % 60;
    const int64_t seconds = ms / 1000 % 60;
    if (hours == 0 && ms / 60000 == 0)
        return QString::number(double(ms) / 1000.0, 'g', 3) + " Sec";
    QString text;
    if (hours != 0)
        text += QString::number(hours) + "Hour";
    if (minutes != 0)
        text += QString::number(minutes) + " Min";
    if (seconds != 0)
        text += QString::number(seconds) + " Sec";
    return text;
}

}  // namespace dw
