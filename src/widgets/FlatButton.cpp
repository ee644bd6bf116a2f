#include "widgets/FlatButton.h"

#include "widgets/TranslateForm.h"

namespace dw {

FlatButton::FlatButton(const QString& text, QWidget* parent) : QPushButton(text, parent)
{
    setProperty(NoTranslateProperty, true);
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
    setStyleSheet(QStringLiteral(
        "dw--FlatButton { border: 1px solid rgb(120,135,190); padding: 3px 10px; background: transparent; }"
        "dw--FlatButton:hover { background: rgb(235,240,255); }"
        "dw--FlatButton:pressed { background: rgb(200,210,245); }"
        "dw--FlatButton:disabled { color: rgb(150,150,160); border-color: rgb(180,185,200); }"));
}

}  // namespace dw
