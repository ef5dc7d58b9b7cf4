#include "input_text.hpp"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

namespace meshweave::tool {

std::string input_name(const std::string& path) { return path == "-" ? "<stdin>" : path; }

std::expected<std::string, std::string> read_input_text(const std::string& path,
                                                        std::istream& standard_input) {
  std::ostringstream text;
  if (path == "-") {
    text << standard_input.rdbuf();
    if (standard_input.bad()) return std::unexpected("cannot read <stdin>");
    return std::move(text).str();
  }
  std::error_code status;
  if (std::filesystem::is_directory(path, status)) {
    return std::unexpected("cannot read " + path + ": " +
                           std::make_error_code(std::errc::is_a_directory).message());
  }
  errno = 0;
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    const int error = errno;
    return std::unexpected("cannot read " + path + ": " +
                           (error != 0 ? std::generic_category().message(error) : "open failed"));
  }
  text << file.rdbuf();
  if (file.bad()) return std::unexpected("cannot read " + path);
  return std::move(text).str();
}

}  // namespace meshweave::tool
