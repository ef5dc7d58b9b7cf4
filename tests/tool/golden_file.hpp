#pragma once

#include <gtest/gtest.h>

#include <string>

namespace meshweave::tool::testing {

// Compares `actual` with tests/tool/golden/<name> exactly. With the environment
// variable MESHWEAVE_REGENERATE_GOLDEN=1 the file is rewritten from `actual`
// instead (review the difference before committing it).
::testing::AssertionResult matches_golden(const std::string& name, const std::string& actual);

}  // namespace meshweave::tool::testing
