#include <array>
#include <cstddef>
#include <string_view>

#include "meshweave/collectives/request.hpp"

namespace meshweave {

std::string_view kind_name(CollectiveError::Kind kind) noexcept {
  static constexpr std::array<std::string_view, 7> names{"Tiles",  "Words",     "Root",   "Grid",
                                                         "Buffer", "Algorithm", "Compile"};
  static_assert(static_cast<std::size_t>(CollectiveError::Kind::Compile) + 1 == names.size());
  return names[static_cast<std::size_t>(kind)];
}

std::string to_string(const CollectiveError& error) {
  std::string text{kind_name(error.kind)};
  text[0] = static_cast<char>(text[0] - 'A' + 'a');  // every name starts with a capital
  text += ": ";
  text += error.message;
  if (error.compile) {
    text += ": ";
    text += to_string(*error.compile);
  }
  return text;
}

}  // namespace meshweave
