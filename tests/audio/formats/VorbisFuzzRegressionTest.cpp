// Replays every saved input of the Ogg Vorbis reader's fuzz target
// (tests/fuzz/regressions/ogg) exactly as the target does: hand-made hostile
// headers and what the fuzzer found.

#include "fuzz/VorbisFuzzBody.h"
#include "support/FuzzRegressions.h"

#include <gtest/gtest.h>

TEST(VorbisFuzzRegressions, EverySavedInputIsReadSafely)
{
    const auto inputs = dwtest::savedFuzzInputs("ogg");
    ASSERT_FALSE(inputs.isEmpty());
    for (const auto& [name, bytes] : inputs) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_FALSE(bytes.isEmpty());
        // None of them holds audio worth the name: a few packets at most.
        EXPECT_LT(dwfuzz::feedVorbisReader(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                           static_cast<size_t>(bytes.size())),
                  int64_t(1) << 24);
    }
}
