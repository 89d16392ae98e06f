// Comparing large texts in tests: a mismatch is told in a few lines (sizes, the first differing
// offset and the bytes around it), never as a diff of megabytes.
#pragma once

#include <string_view>

#include <gtest/gtest.h>

namespace tpjconv::testing {

// Success when `actual` holds exactly the bytes of `expected`.
::testing::AssertionResult same_bytes(std::string_view expected, std::string_view actual);

}  // namespace tpjconv::testing
