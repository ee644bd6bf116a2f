// discwright: the desktop program. The application takes the product name as
// its title, the main window is created (which loads the settings) and shown,
// and the message loop runs until the main window is closed. A termination
// request (SIGTERM, SIGINT, as at the end of a session) closes the main
// window the normal way, so titles and settings are saved.
#include "platform/Dialogs.h"
#include "widgets/MainForm.h"
#include "widgets/ProductLinks.h"
#include "widgets/QtDialogs.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onTerminate(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(dw::ProductCaption());
    QApplication::setApplicationVersion(dw::VersionText());

    dw::QtDialogs dialogs;
    dw::ScopedDialogs useDialogs(dialogs);

    dw::TMainForm window;

    std::unique_ptr<QSocketNotifier> terminate;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) == 0) {
        terminate = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(terminate.get(), &QSocketNotifier::activated, &window, [&window] {
            char c;
            [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &c, 1);
            window.close();
        });
        struct sigaction action {};
        action.sa_handler = onTerminate;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGINT, &action, nullptr);
    }

    window.show();
    return QApplication::exec();
}
