#pragma once
// Input as the user gives it: mouse clicks and keys delivered to the widget
// under them, and menu items chosen through the menu that holds them. A
// control that the user could not reach (hidden, disabled) fails the test
// instead of running its handler.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

#include <functional>

#include <gtest/gtest.h>

namespace dwtest {

inline void clickAt(QWidget* w, QPoint pos, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    const QPointF global = w->mapToGlobal(QPointF(pos));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(pos), global, Qt::LeftButton, Qt::LeftButton, modifiers);
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(pos), global, Qt::LeftButton, Qt::NoButton, modifiers);
    QApplication::sendEvent(w, &release);
}

inline void pressKey(QWidget* w, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {})
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(w, &release);
}

inline void typeText(QWidget* w, const QString& text)
{
    for (QChar c : text)
        pressKey(w, 0, Qt::NoModifier, QString(c));
}

// A left click in the middle of a button the user can see; returns when its
// handler has returned (a modal window it opens has closed again).
inline void click(QAbstractButton* button)
{
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isVisible()) << button->objectName().toStdString() << " is not shown";
    ASSERT_TRUE(button->isEnabled()) << button->objectName().toStdString() << " is disabled";
    clickAt(button, button->rect().center());
}

inline void click(QWidget* window, const char* buttonName)
{
    click(window->findChild<QAbstractButton*>(QString::fromLatin1(buttonName)));
}

// Chooses the item named itemName from the menu of window that holds it,
// as a click on it in the open menu does: the item must be in a menu of
// the window, enabled and not a separator.
inline void chooseMenuItem(QWidget* window, const char* itemName)
{
    auto* item = window->findChild<QAction*>(QString::fromLatin1(itemName));
    ASSERT_NE(item, nullptr) << itemName;
    const QMenu* holder = nullptr;
    for (const QMenu* menu : window->findChildren<QMenu*>())
        if (menu->actions().contains(item))
            holder = menu;
    ASSERT_NE(holder, nullptr) << itemName << " is in no menu";
    ASSERT_TRUE(item->isEnabled()) << itemName << " is disabled";
    ASSERT_FALSE(item->isSeparator()) << itemName;
    item->trigger();
}

// Calls back with every window shown while it lives.
class ShowWatch : public QObject {
public:
    explicit ShowWatch(std::function<void(QWidget*)> shown) : shown_(std::move(shown)) { qApp->installEventFilter(this); }
    ~ShowWatch() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::Show && object->isWidgetType() && static_cast<QWidget*>(object)->isWindow())
            shown_(static_cast<QWidget*>(object));
        return false;
    }

private:
    std::function<void(QWidget*)> shown_;
};

}  // namespace dwtest
