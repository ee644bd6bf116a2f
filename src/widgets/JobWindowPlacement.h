#pragma once
// Where a job window opens: centred over the main window, left = main left +
// (main width - own width) / 2 and top likewise, the division rounding
// toward zero.

class QWidget;

namespace dw {

void CentreOver(QWidget* window, const QWidget* owner);

}  // namespace dw
