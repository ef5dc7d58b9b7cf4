#include "compile_command.hpp"

#include <filesystem>
#include <istream>
#include <ostream>
#include <vector>

#include "description_reader.hpp"
#include "exit_codes.hpp"
#include "input_text.hpp"
#include "meshweave/exchange/compiler.hpp"
#include "meshweave/exchange/verifier.hpp"
#include "meshweave/topology/topology.hpp"
#include "output_files.hpp"
#include "svg_timeline.hpp"

namespace meshweave::tool {

int run_compile(const CompileRequest& request, std::istream& in, std::ostream& out,
                std::ostream& err) {
  const std::string name = input_name(request.input_path);
  if (request.output_path && request.svg_path && *request.output_path == *request.svg_path) {
    err << "meshweave compile: -o and --svg name the same file\n";
    return exit_usage;
  }
  const auto text = read_input_text(request.input_path, in);
  if (!text) {
    err << "meshweave: " << text.error() << '\n';
    return exit_bad_input;
  }
  const auto description = read_description(*text);
  if (!description) {
    err << name << ": " << to_string(description.error()) << '\n';
    return exit_bad_input;
  }
  const Topology topology = Topology::m1472();
  const auto compiled =
      compile_exchange(topology, *description, CompileOptions{.idle_programs = request.idle});
  if (!compiled) {
    err << name << ": " << to_string(compiled.error()) << '\n';
    return exit_bad_input;
  }
  if (request.verify) {
    const std::vector<VerifyIssue> issues = verify_exchange(topology, *description, *compiled);
    if (!issues.empty()) {
      err << name << ": verification found " << issues.size() << " issue"
          << (issues.size() == 1 ? "" : "s") << '\n';
      for (const VerifyIssue& issue : issues) err << "  " << to_string(issue) << '\n';
      return exit_bad_input;
    }
  }

  std::string programs = render_programs(*compiled, request.format);
  std::vector<OutputFile> files;
  if (request.output_path) files.push_back({*request.output_path, std::move(programs)});
  if (request.svg_path) {
    TimelineOptions options;
    options.title = "meshweave exchange: " + std::filesystem::path(name).filename().string();
    files.push_back({*request.svg_path,
                     render_svg_timeline(topology, *description, *compiled, options)});
  }
  if (auto written = write_output_files(files); !written) {
    err << "meshweave: " << written.error() << '\n';
    return exit_bad_input;
  }
  if (!request.output_path) out << programs;
  return exit_success;
}

}  // namespace meshweave::tool
