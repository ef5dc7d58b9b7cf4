#include "cost_command.hpp"

#include <ostream>

#include "compile_command.hpp"
#include "diagnostics.hpp"
#include "exchange_cost.hpp"
#include "exit_codes.hpp"
#include "input_text.hpp"
#include "meshweave/exchange/schedule.hpp"
#include "meshweave/topology/topology.hpp"

namespace meshweave::tool {

int run_cost(const CostRequest& request, std::istream& in, std::ostream& out, std::ostream& err) {
  constexpr std::string_view command = "cost";
  const std::string name = echo(input_name(request.input_path), file_name_echo_limit);
  const auto description =
      read_checked_description(command, request.input_path, name, request.schedule, in, err);
  if (!description) return exit_bad_input;
  const auto estimate = estimate_exchange(Topology::m1472(), *description);
  if (!estimate) {
    report_error(err, command, name, explain(estimate.error()));
    return exit_bad_input;
  }
  out << (request.format == CostFormat::Json ? render_cost_json(*estimate)
                                             : render_cost_text(*estimate));
  return exit_success;  // a failed write shows on the stream, which the caller checks
}

}  // namespace meshweave::tool
