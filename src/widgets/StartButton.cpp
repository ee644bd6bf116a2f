#include "widgets/StartButton.h"

#include <QMenu>

namespace dw {

StartButton::StartButton(const QString& text, QWidget* parent) : QToolButton(parent), popup_(new QMenu(this))
{
    setText(text);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    setPopupMode(QToolButton::MenuButtonPopup);
    setMenu(popup_);
}

}  // namespace dw
