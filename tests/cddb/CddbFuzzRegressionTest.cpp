// Replays every saved input of the CDDB fuzz target (tests/fuzz/regressions/
// cddb) exactly as the target does. A broken bound aborts.

#include "fuzz/CddbFuzzBody.h"
#include "support/FuzzRegressions.h"

#include <gtest/gtest.h>

TEST(CddbFuzzRegressions, EverySavedInputIsHandledSafely)
{
    const auto inputs = dwtest::savedFuzzInputs("cddb");
    ASSERT_FALSE(inputs.isEmpty());
    for (const auto& [name, bytes] : inputs) {
        SCOPED_TRACE(name.toStdString());
        dwfuzz::feedCddb(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    }
}
