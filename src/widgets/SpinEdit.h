#pragma once
// An integer edit with up and down arrows within a range; typed text outside
// the range is held at its ends. Not translated (it shows a number).

#include <QSpinBox>

namespace dw {

class SpinEdit : public QSpinBox {
    Q_OBJECT
public:
    SpinEdit(int minimum, int maximum, int value, QWidget* parent = nullptr);
};

}  // namespace dw
