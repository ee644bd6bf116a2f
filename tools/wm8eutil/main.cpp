// WM8EUTIL: command-line Windows Media Audio encoder.
//
//   WM8EUTIL -input FILE -output FILE -a_setting KBPS_KHZ_CHANNELS
//            [-author TEXT] [-description TEXT]
//
// Prints "Progress: n%" lines while it works, "Progress: 100% done" once the
// output file is complete, and a line beginning "ERROR" with the reason when
// it fails (exit status 1; 2 for a bad command line). SIGINT, SIGTERM and
// SIGHUP stop it the same way: an ERROR line, status 1, no file left behind.

#include "WmaEncoder.h"
#include "WmaProfile.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void onStopSignal(int) { g_stop = 1; }

// Without SA_RESTART, so a blocked write returns and the encode loop sees the flag.
void catchStopSignals()
{
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaction(s, &sa, nullptr);
    // A reader that went away must not kill the tool before it has cleaned up.
    std::signal(SIGPIPE, SIG_IGN);
}

int failWith(const std::string& reason, int status)
{
    std::printf("ERROR: %s\n", reason.c_str());
    std::fflush(stdout);
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    wm8eutil::EncodeRequest req;
    std::string setting;
    bool haveInput = false, haveOutput = false, haveSetting = false;
    for (int i = 1; i < argc; ++i) {
        const std::string sw = argv[i];
        if (i + 1 >= argc)
            return failWith("switch " + sw + " needs a value", 2);
        const std::string value = argv[++i];
        if (sw == "-input") {
            req.input = value;
            haveInput = true;
        } else if (sw == "-output") {
            req.output = value;
            haveOutput = true;
        } else if (sw == "-a_setting") {
            setting = value;
            haveSetting = true;
        } else if (sw == "-author") {
            req.author = value;
        } else if (sw == "-description") {
            req.description = value;
        } else {
            return failWith("unknown switch " + sw, 2);
        }
    }
    if (!haveInput || !haveOutput || !haveSetting)
        return failWith("usage: WM8EUTIL -input FILE -output FILE -a_setting KBPS_KHZ_CHANNELS "
                        "[-author TEXT] [-description TEXT]",
                        2);
    if (req.input.empty() || req.output.empty())
        return failWith("the input and output file names must not be empty", 2);
    const auto profile = wm8eutil::ParseWmaProfile(setting);
    if (!profile)
        return failWith("invalid audio setting " + setting + " (expected KBPS_KHZ_CHANNELS, for example 64_44_2)", 2);
    req.profile = *profile;

    catchStopSignals();
    std::printf("Encoding Windows Media Audio 2, %d kbit/s, %d Hz, %d channel(s)\n", profile->bitRate / 1000,
                profile->sampleRate, profile->channels);
    std::fflush(stdout);
    wm8eutil::EncodeCallbacks callbacks;
    callbacks.progress = [](int percent) {
        std::printf("Progress: %d%%\n", percent);
        std::fflush(stdout);
    };
    callbacks.notice = [](const std::string& line) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    };
    callbacks.stopRequested = [] { return g_stop != 0; };
    const std::string err = wm8eutil::EncodeWma(req, callbacks);
    if (!err.empty())
        return failWith(err, 1);
    std::printf("Progress: 100%% done\n");
    std::fflush(stdout);
    return 0;
}
