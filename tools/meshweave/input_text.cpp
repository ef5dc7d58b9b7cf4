#include "input_text.hpp"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

namespace meshweave::tool {
namespace {

std::string cannot_read(int error) {
  return error != 0 ? "cannot read: " + std::generic_category().message(error) : "cannot read";
}

}  // namespace

std::string input_name(const std::string& path) {
  return path == "-" ? "<stdin>" : path;
}

std::expected<std::string, std::string> read_input_text(const std::string& path,
                                                        std::istream& standard_input) {
  std::ostringstream text;
  if (path == "-") {
    text << standard_input.rdbuf();
    if (standard_input.bad()) return std::unexpected(cannot_read(0));
    return std::move(text).str();
  }
  std::error_code status;
  if (std::filesystem::is_directory(path, status)) return std::unexpected(cannot_read(EISDIR));
  errno = 0;
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::unexpected(cannot_read(errno));
  errno = 0;
  text << file.rdbuf();
  if (file.bad()) return std::unexpected(cannot_read(errno));
  return std::move(text).str();
}

}  // namespace meshweave::tool
