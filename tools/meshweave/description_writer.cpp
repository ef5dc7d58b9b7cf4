#include "description_writer.hpp"

#include <array>
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

namespace meshweave::tool {
namespace {

// Appends numbers without the locale and allocation costs of iostreams:
// these writers emit millions of them.
class JsonLine {
 public:
  JsonLine& text(std::string_view piece) {
    line_ += piece;
    return *this;
  }
  JsonLine& number(std::uint64_t value) {
    std::array<char, 24> digits{};
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
    line_.append(digits.data(), end);
    return *this;
  }
  JsonLine& address(std::uint32_t value) {
    std::array<char, 16> digits{};
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value, 16).ptr;
    line_ += "\"0x";
    line_.append(digits.data(), end);
    line_ += '"';
    return *this;
  }
  void flush_to(std::ostream& out) {
    out.write(line_.data(), static_cast<std::streamsize>(line_.size()));
    line_.clear();
  }

 private:
  std::string line_;
};

void write_transfer(JsonLine& line, std::size_t index, const ScheduledTransfer& scheduled) {
  const TransferView transfer = view(scheduled.transfer);
  line.text("{\"id\": \"t").number(index).text("\", \"from\": ").number(transfer.sender);
  line.text(", \"to\": ");
  if (transfer.multicast) {
    line.text("[");
    for (std::size_t r = 0; r < transfer.receivers.size(); ++r) {
      line.text(r == 0 ? "" : ", ").number(transfer.receivers[r]);
    }
    line.text("]");
  } else {
    line.number(transfer.receivers.front());
  }
  line.text(", \"words\": ").number(transfer.count);
  line.text(", \"source\": ").address(transfer.source_address);
  line.text(", \"destination\": ");
  if (transfer.destination_addresses.size() == 1) {
    line.address(transfer.destination_addresses.front());
  } else {
    line.text("[");
    for (std::size_t d = 0; d < transfer.destination_addresses.size(); ++d) {
      line.text(d == 0 ? "" : ", ").address(transfer.destination_addresses[d]);
    }
    line.text("]");
  }
  if (!scheduled.after.empty()) {
    line.text(", \"after\": [");
    for (std::size_t a = 0; a < scheduled.after.size(); ++a) {
      line.text(a == 0 ? "\"t" : ", \"t").number(scheduled.after[a]).text("\"");
    }
    line.text("]");
  }
  line.text("}");
}

// The transfers form, its lines indented by `indent`, without a final newline.
void write_transfers(std::ostream& out, const ExchangeDescription& description,
                     std::string_view indent) {
  if (!description.phases.empty()) {
    write_transfers(out, to_transfers_form(description), indent);
    return;
  }
  JsonLine line;
  line.text("{\n").text(indent).text("  \"topology\": \"m1472\",\n");
  line.text(indent).text("  \"transfers\": [");
  const auto& transfers = description.transfers;
  for (std::size_t k = 0; k < transfers.size(); ++k) {
    line.text(k == 0 ? "\n" : ",\n").text(indent).text("    ");
    write_transfer(line, k, transfers[k]);
    line.flush_to(out);
  }
  if (!transfers.empty()) line.text("\n").text(indent).text("  ");
  line.text("]\n").text(indent).text("}");
  line.flush_to(out);
}

void write_combines(std::ostream& out, std::span<const Combine> combines, std::string_view indent) {
  JsonLine line;
  line.text("[");
  for (std::size_t k = 0; k < combines.size(); ++k) {
    const Combine& combine = combines[k];
    line.text(k == 0 ? "\n" : ",\n").text(indent).text("  ");
    line.text("{\"tile\": ").number(combine.tile);
    line.text(", \"destination\": ").address(combine.destination).text(", \"sources\": [");
    for (std::size_t s = 0; s < combine.sources.size(); ++s) {
      line.text(s == 0 ? "" : ", ").address(combine.sources[s]);
    }
    line.text("], \"words\": ").number(combine.words);
    // Left out when the combine is done once, as most are.
    if (combine.repeat != 1) {
      line.text(", \"repeat\": ").number(combine.repeat);
      line.text(", \"destination_stride\": ").number(combine.destination_stride);
      line.text(", \"source_stride\": ").number(combine.source_stride);
    }
    line.text("}");
    line.flush_to(out);
  }
  if (!combines.empty()) line.text("\n").text(indent);
  line.text("]");
  line.flush_to(out);
}

}  // namespace

void write_transfers_form(std::ostream& out, const ExchangeDescription& description) {
  write_transfers(out, description, "");
  out << '\n';
}

void write_collective(std::ostream& out, const CollectivePlan& plan) {
  out << "{\n  \"topology\": \"m1472\",\n  \"collective\": \"" << collective_name(plan.request.kind)
      << "\",\n  \"algorithm\": \"" << algorithm_name(plan.algorithm) << "\",\n";
  if (plan.algorithm == CollectiveAlgorithm::Hierarchical) {
    out << "  \"group_size\": " << plan.group_size << ",\n";
  }
  out << "  \"steps\": [";
  for (std::size_t k = 0; k < plan.steps.size(); ++k) {
    out << (k == 0 ? "\n" : ",\n") << "    {\"compute_before\": ";
    write_combines(out, plan.steps[k].combine_before, "      ");
    out << ",\n      \"description\": ";
    write_transfers(out, plan.steps[k].exchange, "      ");
    out << "}";
  }
  out << (plan.steps.empty() ? "" : "\n  ") << "],\n  \"compute_after\": ";
  write_combines(out, plan.combine_after, "  ");
  out << "\n}\n";
}

}  // namespace meshweave::tool
