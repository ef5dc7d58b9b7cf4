#include "input_text.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "huge_pages.hpp"

namespace meshweave::tool {
namespace {

constexpr std::size_t read_chunk = std::size_t{1} << 16;

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

std::string cannot_read(int error) {
  return error != 0 ? "cannot read: " + std::generic_category().message(error) : "cannot read";
}

}  // namespace

std::string input_name(const std::string& path) { return path == "-" ? "<stdin>" : path; }

std::expected<std::string, std::string> read_input_text(const std::string& path,
                                                        std::istream& standard_input) {
  if (path == "-") {
    // Unknown length: grown chunk by chunk, then trimmed to what came.
    std::string text;
    std::streambuf* const buffer = standard_input.rdbuf();
    std::size_t filled = 0;
    while (buffer != nullptr) {
      if (filled == text.size()) text.resize(text.size() + std::max(text.size(), read_chunk));
      const std::streamsize got =
          buffer->sgetn(text.data() + filled, static_cast<std::streamsize>(text.size() - filled));
      if (got <= 0) break;
      filled += static_cast<std::size_t>(got);
    }
    if (standard_input.bad()) return std::unexpected(cannot_read(0));
    text.resize(filled);
    text.shrink_to_fit();
    return text;
  }
  std::error_code status;
  if (std::filesystem::is_directory(path, status)) return std::unexpected(cannot_read(EISDIR));
  errno = 0;
  const std::unique_ptr<std::FILE, FileCloser> file{std::fopen(path.c_str(), "rb")};
  if (!file) {
    return std::unexpected(cannot_read(errno));
  }
  // A regular file is read into a buffer of exactly its size, not cleared
  // first; anything else (a pipe, a device), or a file that grows meanwhile,
  // goes on chunk by chunk.
  const std::uintmax_t size = std::filesystem::file_size(path, status);
  std::string text;
  std::size_t filled = 0;
  text.resize_and_overwrite(status ? 0 : static_cast<std::size_t>(size),
                            [&](char* data, std::size_t room) {
                              prefer_huge_pages(data, room);
                              filled = std::fread(data, 1, room, file.get());
                              return filled;
                            });
  for (;;) {
    if (filled == text.size()) {
      const int next = std::fgetc(file.get());
      if (next == EOF) break;
      text.resize(text.size() + std::max(text.size() / 2, read_chunk));
      text[filled++] = static_cast<char>(next);
    }
    const std::size_t got = std::fread(text.data() + filled, 1, text.size() - filled, file.get());
    filled += got;
    if (got == 0) break;
  }
  if (std::ferror(file.get())) return std::unexpected(cannot_read(errno));
  text.resize(filled);
  return text;
}

}  // namespace meshweave::tool
