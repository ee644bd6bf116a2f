#pragma once
// A button that starts something with a click and offers related commands
// in a popup menu from its arrow (or from a press held on it). The menu
// belongs to the button.

#include <QToolButton>

class QMenu;

namespace dw {

class StartButton : public QToolButton {
    Q_OBJECT
public:
    explicit StartButton(const QString& text = QString(), QWidget* parent = nullptr);

    // The popup menu; created with the button, filled by its owner.
    QMenu* popup() const { return popup_; }

private:
    QMenu* popup_;
};

}  // namespace dw
