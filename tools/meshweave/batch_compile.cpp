#include "batch_compile.hpp"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <filesystem>
#include <future>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "diagnostics.hpp"
#include "exit_codes.hpp"
#include "input_text.hpp"
#include "output_files.hpp"

namespace meshweave::tool {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view command = "compile";

// What one input came to: the error lines it reported, and its rendered
// programs unless it failed.
struct InputOutcome {
  std::string errors;
  std::optional<std::string> programs;
};

const char* extension(ProgramFormat format) {
  switch (format) {
    case ProgramFormat::Text: return ".txt";
    case ProgramFormat::Json: return ".json";
    case ProgramFormat::Hex: return ".hex";
  }
  return ".txt";
}

// The programs of each input go to <directory>/<input stem><extension>. Refuses
// what cannot be written so: standard input among the inputs, the pictures
// (one name for many exchanges), a missing or non-directory -o, and outputs that
// coincide with each other or with an input.
std::expected<std::vector<OutputName>, OutputError> batch_output_names(
    const CompileRequest& request) {
  const auto refuse = [](std::string where, std::string what) {
    return std::unexpected(OutputError{std::move(where), std::move(what), true});
  };
  if (request.svg_path) return refuse("--svg", "takes one input, not several");
  if (request.trace_path) return refuse("--trace", "takes one input, not several");
  if (!request.output_path || *request.output_path == "-") {
    return refuse("--output", "several inputs need -o naming a directory for their programs");
  }
  const fs::path directory = *request.output_path;
  std::error_code error;
  if (!fs::is_directory(directory, error)) {
    return refuse("--output", echo(*request.output_path, file_name_echo_limit) +
                                  " is not a directory (several inputs write one file each)");
  }
  std::vector<OutputName> names;
  names.reserve(request.input_paths.size());
  for (const std::string& input : request.input_paths) {
    if (input == "-") return refuse("-", "standard input cannot be one of several inputs");
    const fs::path stem = fs::path{input}.stem();
    names.push_back({"--output", (directory / stem).string() + extension(request.format)});
  }
  for (const std::string& input : request.input_paths) {
    if (auto checked = check_output_names(names, input); !checked) {
      return std::unexpected(checked.error());
    }
  }
  return names;
}

InputOutcome compile_one(const CompileRequest& request, const std::string& path,
                         const Topology& topology) {
  std::ostringstream err;
  std::istringstream no_input;
  const std::string name = echo(input_name(path), file_name_echo_limit);
  InputOutcome outcome;
  if (auto input = compile_input(request, path, name, topology, no_input, err)) {
    outcome.programs =
        render_programs(input->compiled, request.format, input->cost ? &*input->cost : nullptr);
  }
  outcome.errors = std::move(err).str();
  return outcome;
}

}  // namespace

int run_batch_compile(const CompileRequest& request, std::ostream& out, std::ostream& err) {
  const auto names = batch_output_names(request);
  if (!names) {
    report_error(err, command, names.error().where, names.error().what);
    return exit_usage;
  }
  const std::size_t inputs = request.input_paths.size();
  const Topology topology = Topology::m1472();
  std::vector<std::promise<InputOutcome>> promised(inputs);
  std::vector<std::future<InputOutcome>> outcomes;
  outcomes.reserve(inputs);
  for (auto& promise : promised) outcomes.push_back(promise.get_future());
  std::atomic<std::size_t> next{0};
  // Each worker takes the next input not yet taken; the outcomes are written
  // below, in input order, as they become ready.
  const auto work = [&] {
    for (std::size_t index = next++; index < inputs; index = next++) {
      try {
        promised[index].set_value(compile_one(request, request.input_paths[index], topology));
      } catch (...) {
        promised[index].set_exception(std::current_exception());
      }
    }
  };
  unsigned threads = request.jobs != 0 ? request.jobs : std::thread::hardware_concurrency();
  threads = static_cast<unsigned>(std::clamp<std::size_t>(threads, 1, inputs));
  int status = exit_success;
  {
    std::vector<std::jthread> pool;
    pool.reserve(threads);
    for (unsigned t = 0; t < threads; ++t) pool.emplace_back(work);
    for (std::size_t index = 0; index < inputs; ++index) {
      InputOutcome outcome = outcomes[index].get();
      err << outcome.errors;
      if (!outcome.programs) {
        status = std::max(status, exit_bad_input);
        continue;
      }
      const OutputFile file{(*names)[index], std::move(*outcome.programs)};
      if (auto written = write_outputs({&file, 1}, out); !written) {
        report_error(err, command, written.error().where, written.error().what);
        status = std::max(status, written.error().usage ? exit_usage : exit_bad_input);
      }
    }
  }
  return status;
}

}  // namespace meshweave::tool
