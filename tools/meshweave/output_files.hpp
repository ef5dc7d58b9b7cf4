#pragma once

#include <expected>
#include <functional>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace meshweave::tool {

// Renders an output straight into its file, for outputs too large to hold in
// memory. Returns false when it could not render everything; write failures
// need no report, they are taken from the stream.
using OutputWriter = std::function<bool(std::ostream&)>;

// One output as the command line named it.
struct OutputName {
  std::string option;  // the option that gave it, for messages: "--output", "--svg"
  std::string path;    // "-" is standard output
};

struct OutputFile {
  OutputName name;
  std::variant<std::string, OutputWriter> contents;
};

// Why the outputs were refused or not written, as `where` and `what` of an
// error line. `usage` marks a command line that names its outputs wrongly.
struct OutputError {
  std::string where;
  std::string what;
  bool usage = false;
};

// Refuses, before anything is read or written, outputs that cannot be written
// as asked: an empty file name, two outputs that are one file under any
// spelling (links included), or an output that is the input file
// (`input_path`, "-" or empty for none).
std::expected<void, OutputError> check_output_names(std::span<const OutputName> names,
                                                    std::string_view input_path);

// Writes every output or none: regular files are rendered into temporaries
// beside their targets, then standard output and special files (terminals,
// pipes, devices, which cannot be replaced) are written and flushed, and only
// when all of that succeeded are the temporaries renamed into place. A failure
// removes the temporaries and leaves existing files as they were; so does an
// interrupting signal. Symbolic links are written through: the link stays and
// its target (created when dangling) receives the contents. Checks the names
// as check_output_names does, without an input.
std::expected<void, OutputError> write_outputs(std::span<const OutputFile> files,
                                               std::ostream& standard_output);

}  // namespace meshweave::tool
