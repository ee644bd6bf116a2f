// Replays every saved input of the FLAC and Ogg Opus readers' fuzz targets
// (tests/fuzz/regressions/flac and .../opus) exactly as the targets do:
// hand-made hostile files, whose stated output is checked, and what the
// fuzzers found.

#include "fuzz/FlacFuzzBody.h"
#include "fuzz/LibraryLeaks.h"
#include "fuzz/OpusFuzzBody.h"
#include "fuzz/StatedDelivery.h"
#include "support/FuzzRegressions.h"

#include <gtest/gtest.h>

namespace {

using Feed = int64_t (*)(const uint8_t*, size_t);

// Every input of the folder read safely; the ones that state their output
// deliver exactly that, the others less than limit bytes.
void replay(const char* folder, Feed feed, int64_t limit)
{
    const auto inputs = dwtest::savedFuzzInputs(folder);
    ASSERT_FALSE(inputs.isEmpty());
    int stated = 0;
    for (const auto& [name, bytes] : inputs) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_FALSE(bytes.isEmpty());
        const int64_t delivered = feed(reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size()));
        if (const auto expected = dwfuzz::statedDelivery(folder, name)) {
            EXPECT_EQ(delivered, *expected);
            ++stated;
        } else {
            EXPECT_LT(delivered, limit);
        }
    }
    EXPECT_GT(stated, 0);
}

}  // namespace

TEST(FlacFuzzRegressions, EverySavedInputIsReadSafely)
{
    // A FLAC frame of a few bytes may stand for 65535 samples of eight
    // channels; none of the saved inputs holds more than a few frames.
    replay("flac", &dwfuzz::feedFlacReader, int64_t(1) << 26);
}

TEST(OpusFuzzRegressions, EverySavedInputIsReadSafely)
{
    // An Opus packet of a byte may stand for 120 ms of 255 channels; none of
    // the saved inputs holds more than a few hundred packets.
    replay("opus", &dwfuzz::feedOpusReader, int64_t(1) << 26);
}
