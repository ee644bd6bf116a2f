// discwright: the desktop program. The application takes the product name as
// its title, the main window is created (which loads the settings) and shown,
// and the message loop runs until the main window is closed.
#include "platform/Dialogs.h"
#include "widgets/MainForm.h"
#include "widgets/ProductLinks.h"
#include "widgets/QtDialogs.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(dw::ProductCaption());
    QApplication::setApplicationVersion(dw::VersionText());

    dw::QtDialogs dialogs;
    dw::ScopedDialogs useDialogs(dialogs);

    dw::TMainForm window;
    window.show();
    return QApplication::exec();
}
