// Replays every saved input of the tag fuzz target (tests/fuzz/regressions/
// tags) exactly as the target does: inputs it found and hand-made hostile
// tags. A broken property aborts.

#include "fuzz/TagFuzzBody.h"
#include "support/FuzzRegressions.h"

#include <gtest/gtest.h>

TEST(TagFuzzRegressions, EverySavedInputIsHandledSafely)
{
    const auto inputs = dwtest::savedFuzzInputs("tags");
    ASSERT_FALSE(inputs.isEmpty());
    for (const auto& [name, bytes] : inputs) {
        SCOPED_TRACE(name.toStdString());
        dwfuzz::feedTags(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    }
}
