#include "cli/CliCommon.h"

#include "platform/NativePath.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace dw::cli {

bool parseArgs(const QStringList& argv, const QStringList& valueOptions, const QStringList& switchOptions,
               Args& out, QString& error)
{
    for (int i = 0; i < argv.size(); ++i) {
        const QString& a = argv[i];
        if (a == "--") {
            out.positional += argv.mid(i + 1);
            break;
        }
        if (!a.startsWith("--") || a.size() == 2) {
            out.positional << a;
            continue;
        }
        QString name = a.mid(2);
        QString value;
        bool inlineValue = false;
        int eq = name.indexOf('=');
        if (eq >= 0) {
            value = name.mid(eq + 1);
            name = name.left(eq);
            inlineValue = true;
        }
        if (valueOptions.contains(name)) {
            if (!inlineValue) {
                if (i + 1 >= argv.size()) {
                    error = QString("option --%1 needs a value").arg(name);
                    return false;
                }
                value = argv[++i];
            }
            out.options[name] = value;
        } else if (switchOptions.contains(name)) {
            if (inlineValue) {
                error = QString("option --%1 takes no value").arg(name);
                return false;
            }
            out.switches.insert(name);
        } else {
            error = QString("unknown option --%1").arg(name);
            return false;
        }
    }
    return true;
}

int fail(const QString& message, int status)
{
    // File names travel back to the terminal as the bytes they are.
    std::fprintf(stderr, "discwright-cli: %s\n", NativePath(message).constData());
    std::fflush(stderr);
    return status;
}

void out(const QString& line)
{
    std::fputs(NativePath(line).constData(), stdout);
    std::fputc('\n', stdout);
}

void printJson(const QJsonDocument& doc)
{
    std::fputs(doc.toJson(QJsonDocument::Indented).constData(), stdout);
}

bool parseInt(const QString& text, int& value)
{
    bool ok = false;
    int v = text.trimmed().toInt(&ok, 10);
    if (ok)
        value = v;
    return ok;
}

ProgressBar::ProgressBar(QString label, bool quiet)
    : label_(std::move(label)), enabled_(!quiet && isatty(STDERR_FILENO))
{
}

ProgressBar::~ProgressBar() { finish(); }

void ProgressBar::update(int percent, const QString& detail)
{
    if (!enabled_ || percent == last_)
        return;
    last_ = percent;
    open_ = true;
    constexpr int width = 30;
    QString bar;
    if (percent < 0) {
        bar = QString(width, QChar('?'));
    } else {
        int p = std::min(percent, 100);
        int filled = p * width / 100;
        bar = QString(filled, QChar('#')) + QString(width - filled, QChar('-'));
    }
    QString line = QString("\r%1 [%2] %3%")
                       .arg(label_, bar)
                       .arg(percent < 0 ? QString("?") : QString::number(std::min(percent, 100)), 3);
    if (!detail.isEmpty())
        line += "  " + detail;
    std::fputs(line.toUtf8().constData(), stderr);
    std::fputs("\x1b[K", stderr);
    std::fflush(stderr);
}

void ProgressBar::finish()
{
    if (enabled_ && open_) {
        std::fputc('\n', stderr);
        std::fflush(stderr);
    }
    open_ = false;
}

namespace {

volatile std::sig_atomic_t gStopSignal = 0;
volatile std::sig_atomic_t gWakeFd = -1;  // write end of the wake pipe
struct sigaction gOldInt = {}, gOldTerm = {};

extern "C" void onStopSignal(int signal)
{
    gStopSignal = signal;
    const int fd = gWakeFd;
    if (fd >= 0) {
        const int saved = errno;
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);  // a full pipe has woken the loop already
        errno = saved;
    }
}

}  // namespace

// A pipe the signal handler writes to; its read end wakes the event loop,
// which cancels the token on the main thread.
struct StopSignals::Wake {
    int fds[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier;

    explicit Wake(const TCancelToken& token)
    {
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
            fds[0] = fds[1] = -1;
            return;
        }
        notifier = std::make_unique<QSocketNotifier>(fds[0], QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [this, token] {
            char buffer[16];
            while (::read(fds[0], buffer, sizeof buffer) > 0) {
            }
            token.Cancel();
        });
    }
    ~Wake()
    {
        notifier.reset();
        for (int fd : fds)
            if (fd >= 0)
                ::close(fd);
    }
    Wake(const Wake&) = delete;
    Wake& operator=(const Wake&) = delete;
};

StopSignals::StopSignals() : wake_(std::make_unique<Wake>(token_))
{
    gStopSignal = 0;
    gWakeFd = wake_->fds[1];
    struct sigaction sa = {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, &gOldInt);
    sigaction(SIGTERM, &sa, &gOldTerm);
}

StopSignals::~StopSignals()
{
    sigaction(SIGINT, &gOldInt, nullptr);
    sigaction(SIGTERM, &gOldTerm, nullptr);
    gWakeFd = -1;
}

bool StopSignals::requested()
{
    return gStopSignal != 0;
}

QString StopSignals::signalName()
{
    switch (gStopSignal) {
    case SIGINT: return QStringLiteral("SIGINT");
    case SIGTERM: return QStringLiteral("SIGTERM");
    default: return {};
    }
}

}  // namespace dw::cli
