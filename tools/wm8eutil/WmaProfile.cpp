#include "WmaProfile.h"

#include <vector>

namespace wm8eutil {

namespace {

// A field of 1..4 decimal digits; -1 otherwise.
int parseField(const std::string& s)
{
    if (s.empty() || s.size() > 4)
        return -1;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

}  // namespace

std::optional<WmaProfile> ParseWmaProfile(const std::string& text)
{
    std::vector<std::string> parts;
    std::string cur;
    for (char c : text) {
        if (c == '_') {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    parts.push_back(cur);
    if (parts.size() != 3)
        return std::nullopt;
    const int kbps = parseField(parts[0]);
    const int khz = parseField(parts[1]);
    const int ch = parseField(parts[2]);
    if (kbps < 1 || kbps > 1000 || khz < 1 || khz > 96 || (ch != 1 && ch != 2))
        return std::nullopt;
    WmaProfile p;
    p.bitRate = kbps * 1000;
    switch (khz) {
    case 44: p.sampleRate = 44100; break;
    case 22: p.sampleRate = 22050; break;
    case 11: p.sampleRate = 11025; break;
    default: p.sampleRate = khz * 1000; break;
    }
    p.channels = ch;
    return p;
}

}  // namespace wm8eutil
