// Replays every saved input of the FLAC reader's fuzz target
// (tests/fuzz/regressions/flac) exactly as the target does: hand-made
// hostile files, whose stated output is checked, and what the fuzzer found.

#include "fuzz/FlacFuzzBody.h"
#include "fuzz/StatedDelivery.h"
#include "support/FuzzRegressions.h"

#include <gtest/gtest.h>

TEST(FlacFuzzRegressions, EverySavedInputIsReadSafely)
{
    const auto inputs = dwtest::savedFuzzInputs("flac");
    ASSERT_FALSE(inputs.isEmpty());
    int stated = 0;
    for (const auto& [name, bytes] : inputs) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_FALSE(bytes.isEmpty());
        const int64_t delivered =
            dwfuzz::feedFlacReader(reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size()));
        if (const auto expected = dwfuzz::statedDelivery("flac", name)) {
            EXPECT_EQ(delivered, *expected);
            ++stated;
        } else {
            // A FLAC frame of a few bytes may stand for 65535 samples of eight
            // channels; none of the saved inputs holds more than a few frames.
            EXPECT_LT(delivered, int64_t(1) << 26);
        }
    }
    EXPECT_GT(stated, 0);
}
