// dw-cdimage: writes a CD image (.cue sheet + .bin sectors) from a list of
// track lengths, with a different tone per track or silence, optionally with
// a data track. Used by the tests, the demo, and to try the program without a
// drive:
//   dw-cdimage OUT.cue --track 3:00 --track 0:45:10 [--silence]
//              [--data-track 1:00 [--data-first]] [--first-track N]

#include "CueImage.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char* const kUsage =
    "usage: dw-cdimage OUT.cue --track LENGTH [--track LENGTH ...] [--silence]\n"
    "                  [--data-track LENGTH [--data-first]] [--first-track N]\n"
    "LENGTH is M:SS, M:SS:FF (FF = 1/75 s frames) or whole seconds.\n"
    "Writes OUT.cue and OUT.bin (raw 2352-byte sectors, 16-bit little-endian stereo at 44100 Hz).\n"
    "Each audio track holds its own tone unless --silence is given. A data track goes\n"
    "after the audio tracks, or first with --data-first. The tracks are numbered\n"
    "from N (default 1).\n";

int fail(const std::string& message, int status = 2)
{
    std::fprintf(stderr, "dw-cdimage: %s\n", message.c_str());
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string out;
    dwtool::ImageLayout layout;
    bool haveData = false, dataFirst = false;
    dwtool::ImageTrack dataTrack;
    dataTrack.data = true;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == "--track" || a == "--data-track") {
            if (i + 1 >= argc)
                return fail("option " + a + " needs a length");
            const std::string value = argv[++i];
            int64_t sectors = 0;
            if (!dwtool::parseLength(value, sectors))
                return fail("bad length '" + value + "' (use M:SS, M:SS:FF or seconds, at most 99 minutes)");
            if (a == "--track") {
                layout.tracks.push_back({sectors, false});
            } else {
                if (haveData)
                    return fail("only one --data-track is allowed");
                haveData = true;
                dataTrack.sectors = sectors;
            }
        } else if (a == "--first-track") {
            if (i + 1 >= argc)
                return fail("option --first-track needs a number");
            const std::string value = argv[++i];
            if (value.empty() || value.size() > 2 || value.find_first_not_of("0123456789") != std::string::npos
                || std::stoi(value) < 1)
                return fail("bad track number '" + value + "' (use 1 to 99)");
            layout.firstTrack = std::stoi(value);
        } else if (a == "--silence") {
            layout.silence = true;
        } else if (a == "--data-first") {
            dataFirst = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return fail("unknown option " + a + " (try --help)");
        } else if (out.empty()) {
            out = a;
        } else {
            return fail("more than one output file given");
        }
    }
    if (out.empty())
        return fail("no output file given (try --help)");
    if (out.size() < 5 || out.compare(out.size() - 4, 4, ".cue") != 0)
        return fail("the output file must end in .cue");
    if (dataFirst && !haveData)
        return fail("--data-first needs --data-track");
    if (haveData) {
        if (dataFirst)
            layout.tracks.insert(layout.tracks.begin(), dataTrack);
        else
            layout.tracks.push_back(dataTrack);
    }
    if (layout.tracks.empty())
        return fail("no tracks given (use --track LENGTH)");
    std::string error;
    if (!dwtool::writeImage(out, layout, error))
        return fail(error, 1);
    return 0;
}
