#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace meshweave::tool {

// Why an input file was refused: where (a JSON path such as
// "phases[2].transfers[0].to[3]", empty for the file as a whole; and the line
// and column in the file, 1-based, 0 when unknown) and why.
struct InputError {
  std::string path;
  std::string reason;
  std::size_t line = 0;
  std::size_t column = 0;

  friend bool operator==(const InputError&, const InputError&) = default;
};

// "phases[2].transfers[0].to[3]: tile 1472 is not on the card", or the bare
// reason when the error concerns the whole file.
inline std::string to_string(const InputError& error) {
  return error.path.empty() ? error.reason : error.path + ": " + error.reason;
}

// Where the error is, as an error line names it: "file:3:7: phases[0]",
// "file:3:7" or "file".
inline std::string location(const InputError& error, std::string_view file) {
  std::string out{file};
  if (error.line != 0) {
    out += ':' + std::to_string(error.line) + ':' + std::to_string(error.column);
  }
  if (!error.path.empty()) out.append(": ").append(error.path);
  return out;
}

}  // namespace meshweave::tool
