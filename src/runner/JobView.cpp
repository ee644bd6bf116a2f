#include "runner/JobView.h"

#include "app/Helpers.h"

namespace dw {

QString TJobStage::Caption() const
{
    return word + QLatin1Char('(') + FormatTwoDigits(number) + QLatin1Char('/') + FormatTwoDigits(count)
           + QStringLiteral("): ") + name;
}

}  // namespace dw
