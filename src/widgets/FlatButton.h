#pragma once
// A flat-style push button: no raised frame, a thin border and a lighter face
// under the mouse. Like every flat control of the widget set it keeps its text
// when a window is translated.

#include <QPushButton>

namespace dw {

class FlatButton : public QPushButton {
    Q_OBJECT
public:
    explicit FlatButton(const QString& text = QString(), QWidget* parent = nullptr);
};

}  // namespace dw
