#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "exchange_cost.hpp"
#include "meshweave/exchange/compiler.hpp"
#include "meshweave/exchange/description.hpp"
#include "meshweave/topology/topology.hpp"
#include "program_renderers.hpp"
#include "range_text.hpp"

namespace meshweave::tool {

struct CompileRequest {
  // One description, "-" for standard input, or several files: each is then
  // compiled on its own (up to `jobs` at once, 0 for one per hardware thread)
  // and its programs go to <output directory>/<input stem>.<txt|json|hex>.
  std::vector<std::string> input_paths;
  unsigned jobs = 0;
  ProgramFormat format = ProgramFormat::Text;
  bool verify = false;    // replay the programs against the description, fail on any issue
  bool idle = false;      // give every tile of the card a program
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
// input is read. Several inputs need -o naming a directory and take neither
// --svg nor --trace; each input's programs are written, or none, on their own,
// and an input that fails leaves the others' outputs written. Returns the exit
// status (the worst of several inputs).
// The description of `path` ("-" reads `in`), or nothing once every problem
// found in it is reported as an error of `command`: the first reading error,
// or every tile conflict (up to a bound). With `schedule`, a phase form comes
// back in the transfers form.
std::optional<ExchangeDescription> read_checked_description(std::string_view command,
                                                            const std::string& path,
                                                            const std::string& name, bool schedule,
                                                            std::istream& in, std::ostream& err);

// One input compiled as `request` asks: its description, programs and (unless
// the programs go out as hex) cost summary, or nothing once its problems are
// reported to `err` as errors of `name`.
struct CompiledInput {
  ExchangeDescription description;
  CompiledExchange compiled;
  std::optional<CostSummary> cost;
};
std::optional<CompiledInput> compile_input(const CompileRequest& request, const std::string& path,
                                           const std::string& name, const Topology& topology,
                                           std::istream& in, std::ostream& err);

int run_compile(const CompileRequest& request, std::istream& in, std::ostream& out,
                std::ostream& err);

}  // namespace meshweave::tool
