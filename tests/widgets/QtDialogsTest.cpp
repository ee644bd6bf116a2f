// The Qt answer to the dialogs layer: default buttons, the answer of each
// button and of a box closed with Escape, and the save chooser's suffix.
#include "widgets/QtDialogs.h"

#include "support/TestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

using dw::Answer;
using dw::MessageButtons;
using dw::MessageIcon;

// Runs act on the first modal dialog of type T that opens while the returned
// timer lives (again while it stays open); a dialog that is never acted on is
// rejected after a time-out so that a failing test cannot hang.
template <typename T>
std::unique_ptr<QTimer> whenModal(std::function<void(T*)> act)
{
    auto timer = std::make_unique<QTimer>();
    timer->setInterval(10);
    auto ticks = std::make_shared<int>(0);
    auto lastAct = std::make_shared<int>(-1);
    QTimer* t = timer.get();
    QObject::connect(t, &QTimer::timeout, [t, ticks, lastAct, act] {
        ++*ticks;
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget()); dialog && dialog->isVisible()) {
            // A dialog still open 200 ms after being answered did not take
            // the answer (a file dialog may refuse it until its folder has
            // been read): it is answered again.
            if (*lastAct < 0 || *ticks - *lastAct > 20) {
                *lastAct = *ticks;
                act(dialog);
            }
            return;
        }
        if (*lastAct >= 0) {
            t->stop();  // answered and closed
            return;
        }
        if (*ticks > 1000) {
            t->stop();
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible())
                    d->reject();
        }
    });
    timer->start();
    return timer;
}

void pressKey(QWidget* w, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(w->focusWidget() ? w->focusWidget() : w, &press);
}

TEST(QtDialogs, BoxesShowCaptionIconAndDefaultButtonAndGiveTheButtonPressed)
{
    dw::QtDialogs dialogs;
    QString seenCaption, seenText;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    auto timer = whenModal<QMessageBox>([&](QMessageBox* box) {
        seenCaption = box->windowTitle();
        seenText = box->text();
        seenIcon = box->icon();
        box->defaultButton()->click();  // as Enter would
    });
    EXPECT_FALSE(dialogs.askYesNo("Do you want to remove these tags?", Answer::No, MessageIcon::Information));
    EXPECT_EQ(seenCaption, "Discwright");
    EXPECT_EQ(seenText, "Do you want to remove these tags?");
    EXPECT_EQ(seenIcon, QMessageBox::Information);

    timer = whenModal<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
    EXPECT_EQ(dialogs.askYesNoCancel("Save it?", Answer::Cancel), Answer::Yes);

    timer = whenModal<QMessageBox>([&](QMessageBox* box) {
        seenIcon = box->icon();
        box->defaultButton()->click();
    });
    dialogs.error("Could not save Tag!");
    EXPECT_EQ(seenIcon, QMessageBox::Critical);
}

TEST(QtDialogs, EscapeGivesCancelOrNo)
{
    dw::QtDialogs dialogs;
    auto timer = whenModal<QMessageBox>([](QMessageBox* box) { pressKey(box, Qt::Key_Escape); });
    EXPECT_EQ(dialogs.askYesNoCancel("Save it?"), Answer::Cancel);
    timer = whenModal<QMessageBox>([](QMessageBox* box) { pressKey(box, Qt::Key_Escape); });
    EXPECT_FALSE(dialogs.askYesNo("Overwrite?", Answer::Yes));
    timer = whenModal<QMessageBox>([](QMessageBox* box) { pressKey(box, Qt::Key_Escape); });
    EXPECT_FALSE(dialogs.askOkCancel("Continue?", Answer::Ok));
}

TEST(QtDialogs, SaveChooserAddsTheDefaultSuffixAndCancelGivesNothing)
{
    dwtest::Sandbox sandbox;
    dw::QtDialogs dialogs;
    QString seenFilter;
    auto timer = whenModal<QFileDialog>([&](QFileDialog* d) {
        seenFilter = d->nameFilters().join(";;");
        // The dialog leaves its name box alone while the box has the focus
        // (as it has when another window of the program was active before).
        if (QWidget* focused = d->focusWidget())
            focused->clearFocus();
        d->selectFile("take1");
        static_cast<QDialog*>(d)->accept();  // as the Save button does
    });
    // The recorder names its suffix "*.wav"; the chooser wants "wav".
    const QString chosen = dialogs.chooseSaveFile("Save As", sandbox.path(), "Wave Files|*.wav", "*.wav");
    EXPECT_EQ(chosen, sandbox.path() + "/take1.wav");
    EXPECT_EQ(seenFilter, "Wave Files (*.wav)");

    timer = whenModal<QFileDialog>([](QFileDialog* d) { d->reject(); });
    EXPECT_EQ(dialogs.chooseSaveFile("Save As", sandbox.path(), "Wave Files|*.wav", "wav"), QString());
}

}  // namespace
