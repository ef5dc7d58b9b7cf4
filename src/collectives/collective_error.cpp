#include <array>
#include <string_view>

#include "meshweave/collectives/request.hpp"

namespace meshweave {

std::string to_string(const CollectiveError& error) {
  static constexpr std::array<std::string_view, 7> kinds_text{
      "tiles", "words", "root", "grid", "buffer", "algorithm", "compile"};
  std::string text{kinds_text[static_cast<std::size_t>(error.kind)]};
  text += ": ";
  text += error.message;
  if (error.compile) {
    text += ": ";
    text += to_string(*error.compile);
  }
  return text;
}

}  // namespace meshweave
