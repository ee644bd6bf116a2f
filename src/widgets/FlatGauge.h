#pragma once
// The flat progress gauge of the job windows: a bar from 0 to 100 whose
// percent text is shown only when switched on (a job shows it once the first
// real progress arrives). The value never leaves 0..100.

#include <QProgressBar>

namespace dw {

class FlatGauge : public QProgressBar {
    Q_OBJECT
public:
    explicit FlatGauge(QWidget* parent = nullptr);

    void setShowPercent(bool show);
    bool showPercent() const { return isTextVisible(); }

    // The position, held within 0..100. Drawn on the next paint cycle, not
    // at once: many changes between two cycles cost one paint.
    void setProgress(int percent);
};

}  // namespace dw
