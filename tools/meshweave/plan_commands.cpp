#include "plan_commands.hpp"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <ostream>
#include <span>
#include <string>

#include "command_support.hpp"
#include "diagnostics.hpp"
#include "exit_codes.hpp"
#include "meshweave/instruction_words/refusal.hpp"
#include "meshweave/plans.hpp"
#include "meshweave/scheduling.hpp"
#include "meshweave/topology/topology.hpp"
#include "word_listing.hpp"

namespace meshweave::tool {
namespace {

// Tiles and counts wider than the planner's parameters cannot be on the card or
// valid counts; they are refused here with the same wording the planner's
// checks would lead to, before anything is narrowed.
std::optional<std::uint16_t> tile_argument(std::uint64_t value, std::string_view where,
                                           std::ostream& err) {
  const auto tile = fit<std::uint16_t>(value);
  if (!tile) {
    report_error(err, "plan", where, "tile " + std::to_string(value) + " is not on the card");
  }
  return tile;
}
std::optional<std::uint32_t> count_argument(std::uint64_t value, std::string_view where,
                                            std::ostream& err) {
  const auto count = fit<std::uint32_t>(value);
  if (!count) report_error(err, "plan", where, std::to_string(value) + " does not fit 32 bits");
  return count;
}

// Reports the refusal at the argument that gave the refused value, named as on
// the command line of the command.
int report_refusal(const Refusal& refusal, std::string_view receiver_name,
                   std::string_view words_name, std::ostream& err) {
  std::string_view where;
  switch (refusal.argument) {
    case RefusedArgument::sender: where = "sender"; break;
    case RefusedArgument::receiver: where = receiver_name; break;
    case RefusedArgument::count: where = words_name; break;
    case RefusedArgument::schedule_offset: where = "--offset"; break;
    default: break;
  }
  report_error(err, "plan", where, explain(refusal));
  return exit_bad_input;
}

void append_row(std::string& out, std::span<const std::uint32_t> row) {
  append_word_listing(out, row_body(row));
}

// The receiver template's word 0 is a patch index, not an instruction.
void append_template_row(std::string& out, std::span<const std::uint32_t> row) {
  char line[64];
  std::snprintf(line, sizeof line, "%5d %7s  0x%08x  ", 0, "-", row[0]);
  out += line;
  out += "patch index " + std::to_string(row[0]) + " (the XPIC word to name the sender)\n";
  append_word_listing(out, row_body(row.subspan(1)), 1);
}

std::string horizon_line(std::span<const PlanRow> rows) {
  std::uint32_t horizon = 0;
  for (const PlanRow& row : rows) {
    const auto cycles = plan_event_cycles(row);
    if (cycles) horizon = std::max(horizon, *cycles);
  }
  return "plan horizon " + std::to_string(horizon) + " cycles\n";
}

}  // namespace

int run_plan_point_to_point(const PointToPointRequest& request, std::ostream& out,
                            std::ostream& err) {
  const auto sender = tile_argument(request.sender, "sender", err);
  if (!sender) return exit_bad_input;
  const auto receiver = tile_argument(request.receiver, "receiver", err);
  if (!receiver) return exit_bad_input;
  const auto words = count_argument(request.words, "words", err);
  if (!words) return exit_bad_input;

  const Topology topology = Topology::m1472();
  const auto plan = explained::point_to_point(topology, *sender, *receiver, *words);
  if (!plan) return report_refusal(plan.error(), "receiver", "words", err);
  const PlanRow rows[] = {plan->sender, plan->receiver};
  std::string text = "point-to-point: " + std::to_string(*words) + " words from " +
                     tile_label(topology, *sender) + " to " + tile_label(topology, *receiver) +
                     "\n";
  text += horizon_line(rows);
  text += "\nsender row\n";
  append_row(text, plan->sender);
  text += "\nreceiver row (template)\n";
  append_template_row(text, plan->receiver);
  out << text;
  return exit_success;
}

int run_plan_multicast(const MulticastRequest& request, std::ostream& out, std::ostream& err) {
  const auto sender = tile_argument(request.sender, "sender", err);
  if (!sender) return exit_bad_input;
  std::vector<std::uint16_t> receivers;
  receivers.reserve(request.receivers.size());
  for (const std::uint64_t value : request.receivers) {
    const auto receiver = tile_argument(value, "receivers", err);
    if (!receiver) return exit_bad_input;
    receivers.push_back(*receiver);
  }
  const auto words = count_argument(request.words, "--words", err);
  if (!words) return exit_bad_input;
  const auto offset = count_argument(request.offset, "--offset", err);
  if (!offset) return exit_bad_input;

  const Topology topology = Topology::m1472();
  const auto plan = explained::multicast(topology, *sender, receivers, *words, *offset);
  if (!plan) return report_refusal(plan.error(), "receivers", "--words", err);
  std::vector<PlanRow> rows{plan->sender};
  rows.insert(rows.end(), plan->receivers.begin(), plan->receivers.end());
  std::string text = "multicast: " + std::to_string(*words) + " words from " +
                     tile_label(topology, *sender) + " to " + std::to_string(receivers.size()) +
                     " tiles, schedule offset " + std::to_string(*offset) + "\n";
  text += horizon_line(rows);
  text += "\nsender row\n";
  append_row(text, plan->sender);
  for (std::size_t i = 0; i < plan->receivers.size(); ++i) {
    text +=
        "\nreceiver row " + std::to_string(i) + ": " + tile_label(topology, receivers[i]) + "\n";
    append_row(text, plan->receivers[i]);
  }
  out << text;
  return exit_success;
}

}  // namespace meshweave::tool
