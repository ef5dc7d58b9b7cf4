#include "output_files.hpp"

#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

namespace meshweave::tool {
namespace {

namespace fs = std::filesystem;

void remove_quietly(const std::vector<fs::path>& paths) {
  for (const fs::path& path : paths) {
    std::error_code ignored;
    fs::remove(path, ignored);
  }
}

}  // namespace

std::expected<void, std::string> write_output_files(std::span<const OutputFile> files) {
  // A directory in the way would only be found at the rename, after earlier
  // files had been moved into place.
  for (const OutputFile& file : files) {
    std::error_code ignored;
    if (fs::is_directory(file.path, ignored)) {
      return std::unexpected("cannot write " + file.path + ": " +
                             std::make_error_code(std::errc::is_a_directory).message());
    }
  }
  std::vector<fs::path> temporaries;
  temporaries.reserve(files.size());
  for (const OutputFile& file : files) {
    fs::path temporary = file.path;
    temporary += ".meshweave-partial";
    errno = 0;
    std::ofstream stream(temporary, std::ios::binary | std::ios::trunc);
    const int open_error = errno;
    if (stream) temporaries.push_back(temporary);
    stream.write(file.contents.data(), static_cast<std::streamsize>(file.contents.size()));
    stream.close();
    if (!stream) {
      remove_quietly(temporaries);
      const std::string reason =
          open_error != 0 ? std::generic_category().message(open_error) : "write failed";
      return std::unexpected("cannot write " + file.path + ": " + reason);
    }
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    std::error_code error;
    fs::rename(temporaries[i], files[i].path, error);
    if (error) {
      remove_quietly(std::vector<fs::path>(temporaries.begin() + static_cast<std::ptrdiff_t>(i),
                                           temporaries.end()));
      return std::unexpected("cannot write " + files[i].path + ": " + error.message());
    }
  }
  return {};
}

}  // namespace meshweave::tool
