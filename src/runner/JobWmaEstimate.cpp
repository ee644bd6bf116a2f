#include "runner/JobWmaEstimate.h"

namespace dw {

const std::array<int, 33> WmaSizeRatio = {
    7315,  8770,  10949, 7316,  8772,  10954, 14581, 17471, 21790, 28963,  43174,
    28963, 43134, 28999, 34720, 43214, 68873, 43134, 62208, 68264, 68264,  84458,
    67963, 84150, 84150, 110460, 131113, 133765, 165296, 113717, 167692, 220395, 261485,
};

namespace {

// num / den rounded to nearest, ties to even; num >= 0, den > 0.
int64_t roundedQuotient(int64_t num, int64_t den)
{
    int64_t q = num / den;
    const int64_t r = num % den;
    if (2 * r > den || (2 * r == den && (q & 1)))
        ++q;
    return q;
}

}  // namespace

std::optional<int64_t> JobWmaEstimatedSeconds(int64_t elapsed, int64_t inputSize, int64_t outputSize, int profile)
{
    int64_t total = 2;
    if (inputSize >= WmaSmallInput) {
        if (profile < 0 || profile >= int(WmaSizeRatio.size()))
            profile = 8;
        int64_t expected = roundedQuotient(inputSize * 1000, WmaSizeRatio[std::size_t(profile)]);
        if (outputSize > expected)
            expected = outputSize;
        if (outputSize <= 0)
            return std::nullopt;
        total = expected * elapsed / outputSize;
    }
    if (elapsed >= total)
        total = elapsed + 1;
    return total;
}

int JobWmaGaugePercent(int64_t elapsed, int64_t total)
{
    if (total <= 0 || elapsed <= 0)
        return 0;
    return int(roundedQuotient(elapsed * 100, total));
}

}  // namespace dw
