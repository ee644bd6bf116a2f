#include "runner/CDRipWmaEstimate.h"

#include "jobs/WmaProfiles.h"

#include <array>
#include <cmath>

namespace dw {

namespace {

// WAV input bytes per expected WMA output byte, times 1000, per profile.
constexpr std::array<int64_t, WmaProfileCount> WmaSizeRatio = {
    7315,  8770,  10949, 7316,  8772,  10954, 14581, 17471,  21790,  28963,  43174,
    28963, 43134, 28999, 34720, 43214, 68873, 43134, 62208,  68264,  68264,  84458,
    67963, 84150, 84150, 110460, 131113, 133765, 165296, 113717, 167692, 220395, 261485,
};

// Nearest integer, halves to even.
int64_t roundEven(double v) { return int64_t(std::nearbyint(v)); }

}  // namespace

std::optional<int64_t> WmaEstimatedSeconds(int64_t elapsed, int64_t inputSize, int64_t outputSize, int profile)
{
    int64_t total = 2;
    if (inputSize >= 2000000) {
        if (profile < 0 || profile >= WmaProfileCount)
            profile = WmaDefaultProfile;
        int64_t expected = roundEven(double(inputSize) * 1000.0 / double(WmaSizeRatio[size_t(profile)]));
        if (outputSize > expected)
            expected = outputSize;
        if (outputSize <= 0)
            return std::nullopt;
        total = int64_t(double(expected) * double(elapsed) / double(outputSize));
    }
    if (elapsed >= total)
        total = elapsed + 1;
    return total;
}

int WmaGaugePercent(int64_t elapsed, int64_t total)
{
    return total <= 0 ? 0 : int(roundEven(double(elapsed) * 100.0 / double(total)));
}

}  // namespace dw
