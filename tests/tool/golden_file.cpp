#include "golden_file.hpp"

#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "tool_process.hpp"

namespace meshweave::tool::testing {

::testing::AssertionResult matches_golden(const std::string& name, const std::string& actual) {
  const std::string path = source_path("tests/tool/golden/" + name);
  const char* regenerate = std::getenv("MESHWEAVE_REGENERATE_GOLDEN");
  if (regenerate != nullptr && std::string_view{regenerate} == "1") {
    write_file(path, actual);
    return ::testing::AssertionSuccess() << "regenerated " << path;
  }
  if (!std::filesystem::exists(path)) {
    return ::testing::AssertionFailure()
           << path << " is missing; run with MESHWEAVE_REGENERATE_GOLDEN=1 to create it";
  }
  const std::string expected = read_file(path);
  if (expected == actual) return ::testing::AssertionSuccess();
  // Point at the first differing line rather than dumping both texts.
  std::size_t line = 1;
  std::size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) {
    if (expected[at] == '\n') ++line;
    ++at;
  }
  const auto line_at = [at](const std::string& text) {
    const std::size_t start = text.rfind('\n', at == 0 ? 0 : at - 1);
    const std::size_t begin = start == std::string::npos || at == 0 ? 0 : start + 1;
    return text.substr(begin, text.find('\n', begin) - begin);
  };
  return ::testing::AssertionFailure()
         << name << " differs at line " << line << "\n  expected: " << line_at(expected)
         << "\n  actual:   " << line_at(actual)
         << "\n(set MESHWEAVE_REGENERATE_GOLDEN=1 to rewrite it after a deliberate change)";
}

}  // namespace meshweave::tool::testing
