#include "widgets/FlatGauge.h"

#include "widgets/TranslateForm.h"

#include <algorithm>

namespace dw {

FlatGauge::FlatGauge(QWidget* parent) : QProgressBar(parent)
{
    setProperty(NoTranslateProperty, true);
    setRange(0, 100);
    setValue(0);
    setFormat(QStringLiteral("%p%"));
    setAlignment(Qt::AlignCenter);
    setTextVisible(false);
    setStyleSheet(QStringLiteral(
        "dw--FlatGauge { border: 1px solid rgb(120,135,190); background: white; min-height: 18px; }"
        "dw--FlatGauge::chunk { background: rgb(90,120,210); }"));
}

void FlatGauge::setShowPercent(bool show)
{
    setTextVisible(show);
}

void FlatGauge::setProgress(int percent)
{
    setValue(std::clamp(percent, 0, 100));
}

}  // namespace dw
