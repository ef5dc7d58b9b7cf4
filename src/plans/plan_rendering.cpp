#include <ostream>
#include <string>

#include "meshweave/plans/plan.hpp"

namespace meshweave {

namespace {

// [w0, w1, ..., w8], words in decimal.
void append_row(std::string& out, const PlanRow& row) {
  out += '[';
  for (std::size_t index = 0; index < row.size(); ++index) {
    if (index != 0) out += ", ";
    out += std::to_string(row[index]);
  }
  out += ']';
}

}  // namespace

std::string to_string(const Plan& plan) {
  std::string out = "Plan { sender: ";
  append_row(out, plan.sender);
  out += ", receiver: ";
  append_row(out, plan.receiver);
  out += " }";
  return out;
}

std::string to_string(const MulticastPlan& plan) {
  std::string out = "MulticastPlan { sender: ";
  append_row(out, plan.sender);
  out += ", receivers: [";
  for (std::size_t index = 0; index < plan.receivers.size(); ++index) {
    if (index != 0) out += ", ";
    append_row(out, plan.receivers[index]);
  }
  out += "] }";
  return out;
}

std::ostream& operator<<(std::ostream& out, const Plan& plan) { return out << to_string(plan); }

std::ostream& operator<<(std::ostream& out, const MulticastPlan& plan) {
  return out << to_string(plan);
}

}  // namespace meshweave
