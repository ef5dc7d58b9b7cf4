#pragma once

#include <expected>
#include <istream>
#include <string>

namespace meshweave::tool {

// The whole text of `path`, or of `standard_input` when `path` is "-".
// On failure the reason ("cannot read: No such file or directory"); the caller
// names the file, as the `where` of its error line.
std::expected<std::string, std::string> read_input_text(const std::string& path,
                                                        std::istream& standard_input);

// How `path` is named in messages: "<stdin>" for "-".
std::string input_name(const std::string& path);

}  // namespace meshweave::tool
