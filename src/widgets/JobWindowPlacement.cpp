#include "widgets/JobWindowPlacement.h"

#include <QWidget>

namespace dw {

void CentreOver(QWidget* window, const QWidget* owner)
{
    if (!owner)
        return;
    window->adjustSize();
    const QRect main = owner->frameGeometry();
    const QSize own = window->frameGeometry().size();
    window->move(main.left() + (main.width() - own.width()) / 2, main.top() + (main.height() - own.height()) / 2);
}

}  // namespace dw
