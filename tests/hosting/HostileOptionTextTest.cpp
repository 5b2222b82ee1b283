// Record texts a user or a damaged settings file may hold: inputs the option-text fuzz target
// found, kept as regressions.
#include "hosting/EngineComponent.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace corvina::hosting {
namespace {

using Pairs = std::vector<std::pair<int64_t, int64_t>>;

// Milliseconds beyond what microseconds can hold overflowed the conversion; they saturate.
TEST(HostileOptionText, HookRangesBeyondTheMicrosecondRangeSaturate) {
    EXPECT_EQ(ParseHookRanges("0-99999999999999999"), (Pairs{{0, INT64_MAX / 1000 * 1000}}));
    EXPECT_EQ(ParseHookRanges("99999999999999999-99999999999999999"),
              (Pairs{{INT64_MAX / 1000 * 1000, INT64_MAX / 1000 * 1000}}));
    // An end far below zero drops its pair.
    EXPECT_TRUE(ParseHookRanges("1--99999999999999999").empty());
    EXPECT_EQ(ParseHookRanges("9223372036854775807-9223372036854775807, 1-2").size(), 2u);
}

} // namespace
} // namespace corvina::hosting
