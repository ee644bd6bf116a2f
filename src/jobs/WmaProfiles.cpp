#include "jobs/WmaProfiles.h"

namespace dw {

namespace {

struct Profile {
    const char* label;
    const char* setting;
};

constexpr Profile kProfiles[WmaProfileCount] = {
    {"48.000 kHz, 192 kbit/s, Stereo", "192_48_2"}, {"48.000 kHz, 160 kbit/s, Stereo", "160_48_2"},
    {"48.000 kHz, 128 kbit/s, Stereo", "128_48_2"}, {"44.100 kHz, 192 kbit/s, Stereo", "192_44_2"},
    {"44.100 kHz, 160 kbit/s, Stereo", "160_44_2"}, {"44.100 kHz, 128 kbit/s, Stereo", "128_44_2"},
    {"44.100 kHz,  96 kbit/s, Stereo", "96_44_2"},  {"44.100 kHz,  80 kbit/s, Stereo", "80_44_2"},
    {"44.100 kHz,  64 kbit/s, Stereo", "64_44_2"},  {"44.100 kHz,  48 kbit/s, Stereo", "48_44_2"},
    {"44.100 kHz,  32 kbit/s, Stereo", "32_44_2"},  {"44.100 kHz,  48 kbit/s, Mono", "48_44_1"},
    {"44.100 kHz,  32 kbit/s, Mono", "32_44_1"},    {"32.000 kHz,  48 kbit/s, Stereo", "48_32_2"},
    {"32.000 kHz,  40 kbit/s, Stereo", "40_32_2"},  {"32.000 kHz,  32 kbit/s, Stereo", "32_32_2"},
    {"32.000 kHz,  20 kbit/s, Mono", "20_32_1"},    {"22.050 kHz,  32 kbit/s, Stereo", "32_22_2"},
    {"22.050 kHz,  22 kbit/s, Stereo", "22_22_2"},  {"22.050 kHz,  20 kbit/s, Stereo", "20_22_2"},
    {"22.050 kHz,  20 kbit/s, Mono", "20_22_1"},    {"22.050 kHz,  16 kbit/s, Mono", "16_22_1"},
    {"16.000 kHz,  20 kbit/s, Stereo", "20_16_2"},  {"16.000 kHz,  16 kbit/s, Stereo", "16_16_2"},
    {"16.000 kHz,  16 kbit/s, Mono", "16_16_1"},    {"16.000 kHz,  12 kbit/s, Mono", "12_16_1"},
    {"16.000 kHz,  10 kbit/s, Mono", "10_16_1"},    {"11.025 kHz,  10 kbit/s, Mono", "10_11_1"},
    {"11.025 kHz,   8 kbit/s, Mono", "8_11_1"},     {" 8.000 kHz,  12 kbit/s, Stereo", "12_8_2"},
    {" 8.000 kHz,   8 kbit/s, Mono", "8_8_1"},      {" 8.000 kHz,   6 kbit/s, Mono", "6_8_1"},
    {" 8.000 kHz,   5 kbit/s, Mono", "5_8_1"},
};

}  // namespace

QString WmaProfileSetting(int index)
{
    if (index < 0 || index >= WmaProfileCount)
        return {};
    return QString::fromLatin1(kProfiles[index].setting);
}

QString WmaProfileLabel(int index)
{
    if (index < 0 || index >= WmaProfileCount)
        return {};
    return QString::fromLatin1(kProfiles[index].label);
}

}  // namespace dw
