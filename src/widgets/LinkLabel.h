#pragma once
// A label that opens a web page with the desktop's handler when clicked.
// Its text is an ordinary label caption (so a language file can replace it);
// the address stays with the label.

#include <QLabel>
#include <QUrl>

namespace dw {

class LinkLabel : public QLabel {
    Q_OBJECT
public:
    LinkLabel(const QString& text, const QUrl& url, QWidget* parent = nullptr);
    QUrl url() const { return url_; }

signals:
    void opened(const QUrl& url);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QUrl url_;
};

}  // namespace dw
