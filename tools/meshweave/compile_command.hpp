#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "meshweave/exchange/description.hpp"

#include "program_renderers.hpp"
#include "range_text.hpp"

namespace meshweave::tool {

struct CompileRequest {
  std::string input_path;  // "-" reads standard input
  ProgramFormat format = ProgramFormat::Text;
  bool verify = false;  // replay the programs against the description, fail on any issue
  bool idle = false;    // give every tile of the card a program
  bool schedule = false;  // a phase form loses its barriers and is scheduled
  std::optional<std::string> svg_path;     // "-" is standard output
  std::optional<std::string> output_path;  // standard output when absent or "-"
  std::optional<std::string> trace_path;   // "-" is standard output
  // A window of the timeline picture: logical tiles and cycles to draw.
  std::optional<InclusiveRange> svg_tiles;
  std::optional<InclusiveRange> svg_cycles;
};

// `meshweave compile`: reads a description, compiles it, optionally verifies it,
// and writes the programs (and the timeline picture). Every output is written,
// or none (see write_outputs); outputs named wrongly are refused before the
// input is read. Returns the exit status.
// The description of `path` ("-" reads `in`), or nothing once every problem
// found in it is reported as an error of `command`: the first reading error,
// or every tile conflict (up to a bound). With `schedule`, a phase form comes
// back in the transfers form.
std::optional<ExchangeDescription> read_checked_description(std::string_view command,
                                                            const std::string& path,
                                                            const std::string& name, bool schedule,
                                                            std::istream& in, std::ostream& err);

int run_compile(const CompileRequest& request, std::istream& in, std::ostream& out,
                std::ostream& err);

}  // namespace meshweave::tool
