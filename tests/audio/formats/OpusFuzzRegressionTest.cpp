// Replays every saved input of the Ogg Opus reader's fuzz target
// (tests/fuzz/regressions/opus) exactly as the target does: hand-made
// hostile files, whose stated output is checked, and what the fuzzer found.

#include "fuzz/LibraryLeaks.h"
#include "fuzz/OpusFuzzBody.h"
#include "fuzz/StatedDelivery.h"
#include "support/FuzzRegressions.h"

#include <gtest/gtest.h>

TEST(OpusFuzzRegressions, EverySavedInputIsReadSafely)
{
    const auto inputs = dwtest::savedFuzzInputs("opus");
    ASSERT_FALSE(inputs.isEmpty());
    int stated = 0;
    for (const auto& [name, bytes] : inputs) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_FALSE(bytes.isEmpty());
        const int64_t delivered =
            dwfuzz::feedOpusReader(reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size()));
        if (const auto expected = dwfuzz::statedDelivery("opus", name)) {
            EXPECT_EQ(delivered, *expected);
            ++stated;
        } else {
            // An Opus packet of a byte may stand for 120 ms of 255 channels;
            // none of the saved inputs holds more than a few hundred packets.
            EXPECT_LT(delivered, int64_t(1) << 26);
        }
    }
    EXPECT_GT(stated, 0);
}
