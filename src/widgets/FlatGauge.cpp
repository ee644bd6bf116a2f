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
    const int value = std::clamp(percent, 0, 100);
    if (value == this->value())
        return;
    // QProgressBar repaints at once on a visible change, which paints the
    // group box around it too; job progress arrives many times a second, so
    // the value is set with painting held and drawn once on the next paint
    // cycle instead.
    const bool enabled = updatesEnabled();
    setUpdatesEnabled(false);
    setValue(value);
    setUpdatesEnabled(enabled);
    update();
}

}  // namespace dw
