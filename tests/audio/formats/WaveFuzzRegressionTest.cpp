// Replays every saved input (tests/fuzz/regressions/*.hex) through the WAV
// reader exactly as the fuzz target does: inputs the fuzzer found and
// hand-made hostile files (sizes past the end, ADPCM blocks smaller than
// their headers, predictors out of range, RF64 with lying ds64 chunks, ...),
// of which the ones that state their output ("delivers N bytes") deliver
// exactly that.

#include "fuzz/StatedDelivery.h"
#include "fuzz/WaveFuzzBody.h"
#include "support/FuzzRegressions.h"

#include <gtest/gtest.h>

TEST(WaveFuzzRegressions, EverySavedInputIsReadSafely)
{
    const auto inputs = dwtest::savedFuzzInputs();
    ASSERT_FALSE(inputs.isEmpty());
    for (const auto& [name, bytes] : inputs) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_FALSE(bytes.isEmpty());
        const int64_t delivered =
            dwfuzz::feedWaveReader(reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size()));
        if (const auto expected = dwfuzz::statedDelivery(QString(), name))
            EXPECT_EQ(delivered, *expected);
    }
}
