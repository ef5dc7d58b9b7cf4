#pragma once

#include <expected>
#include <span>
#include <string>

namespace meshweave::tool {

struct OutputFile {
  std::string path;
  std::string contents;
};

// Writes all files or, as far as the file system allows, none: each file goes
// to a temporary name beside its target first and is renamed into place only
// once every file has been written completely. On failure the message names
// the file and the reason.
std::expected<void, std::string> write_output_files(std::span<const OutputFile> files);

}  // namespace meshweave::tool
