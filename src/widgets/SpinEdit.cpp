#include "widgets/SpinEdit.h"

#include "widgets/TranslateForm.h"

namespace dw {

SpinEdit::SpinEdit(int minimum, int maximum, int value, QWidget* parent) : QSpinBox(parent)
{
    setProperty(NoTranslateProperty, true);
    setRange(minimum, maximum);
    setValue(value);
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    setAccelerated(true);
}

}  // namespace dw
