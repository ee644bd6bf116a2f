#include "widgets/LinkLabel.h"

#include <QDesktopServices>
#include <QMouseEvent>

namespace dw {

LinkLabel::LinkLabel(const QString& text, const QUrl& url, QWidget* parent) : QLabel(text, parent), url_(url)
{
    setCursor(Qt::PointingHandCursor);
    setToolTip(url.toString());
    setStyleSheet(QStringLiteral("dw--LinkLabel { color: rgb(0,0,200); text-decoration: underline; }"));
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        QDesktopServices::openUrl(url_);
        emit opened(url_);
    }
    QLabel::mouseReleaseEvent(event);
}

}  // namespace dw
