// discwright: the desktop program. --help and --version print and end
// before anything graphical starts (no display is needed for them); any
// other option that is not one of Qt's own is refused with status 2.
// Otherwise the application takes the product name as its title, the main
// window is created (which loads the settings) and shown, and the message
// loop runs until the main window is closed. A termination request
// (SIGTERM, SIGINT, as at the end of a session) closes the main window the
// normal way, so titles and settings are saved.
#include "app/Version.h"
#include "platform/Dialogs.h"
#include "widgets/MainForm.h"
#include "widgets/ProductLinks.h"
#include "widgets/QtDialogs.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The options Qt's application object takes itself, with one or two leading
// dashes; value: the next argument belongs to the option.
struct QtOption {
    const char* name;
    bool value;
};
constexpr QtOption kQtOptions[] = {
    {"platform", true}, {"platformpluginpath", true}, {"platformtheme", true}, {"plugin", true},
    {"qwindowgeometry", true}, {"geometry", true}, {"qwindowicon", true}, {"icon", true},
    {"qwindowtitle", true}, {"title", true}, {"display", true}, {"style", true}, {"stylesheet", true},
    {"session", true}, {"name", true}, {"visual", true}, {"ncols", true}, {"reverse", false},
    {"widgetcount", false}, {"nograb", false}, {"dograb", false}, {"sync", false}, {"cmap", false},
    {"testability", false},
};

void printUsage()
{
    std::printf("usage: discwright [--help] [--version] [Qt options, e.g. -platform NAME, -style NAME]\n\n"
                "The Discwright desktop program: rips audio CDs and converts audio files.\n"
                "discwright-cli does the same from a terminal (discwright-cli help).\n\n"
                "  -h, --help     show this text and exit\n"
                "  -v, --version  show the version and exit\n");
}

// Handles the arguments that end the program before any window: the exit
// status, or nothing when the window is to start. Qt's own options are left
// for the application object.
std::optional<int> handleArguments(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            printUsage();
            return 0;
        }
        if (std::strcmp(arg, "--version") == 0 || std::strcmp(arg, "-v") == 0) {
            std::printf("discwright %s\n", dw::ProductVersion().toUtf8().constData());
            return 0;
        }
        if (arg[0] != '-' || arg[1] == '\0') {
            std::fprintf(stderr, "discwright: unexpected argument '%s' (try discwright --help)\n", arg);
            return 2;
        }
        const char* name = arg + (arg[1] == '-' ? 2 : 1);
        if (std::strncmp(name, "qmljsdebugger=", 14) == 0)
            continue;
        const QtOption* qt = nullptr;
        for (const QtOption& o : kQtOptions)
            if (std::strcmp(name, o.name) == 0)
                qt = &o;
        if (!qt) {
            std::fprintf(stderr, "discwright: unknown option '%s' (try discwright --help)\n", arg);
            return 2;
        }
        if (qt->value && ++i >= argc) {
            std::fprintf(stderr, "discwright: option '%s' needs a value\n", arg);
            return 2;
        }
    }
    return std::nullopt;
}

int signalPipe[2] = {-1, -1};

void onTerminate(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &c, 1);
}

}  // namespace

int main(int argc, char** argv)
{
    if (const std::optional<int> status = handleArguments(argc, argv))
        return *status;
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
