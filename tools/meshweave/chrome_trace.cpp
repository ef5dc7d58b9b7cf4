#include "chrome_trace.hpp"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "transfer_windows.hpp"

namespace meshweave::tool {
namespace {

constexpr std::size_t flush_size = std::size_t{1} << 16;
constexpr std::uint64_t phases_track = 0;

// The events as JSON text, handed to the stream in large pieces.
class TraceWriter {
 public:
  explicit TraceWriter(std::ostream& out) : out_{out} { buffer_.reserve(flush_size + 4096); }

  TraceWriter& text(std::string_view text) {
    buffer_ += text;
    return *this;
  }
  TraceWriter& number(std::uint64_t value) {
    char digits[std::numeric_limits<std::uint64_t>::digits10 + 1];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    buffer_.append(digits, result.ptr);
    return *this;
  }
  // Starts an event: a separator from the previous one, and the common keys.
  TraceWriter& event(std::string_view name, std::string_view phase_type, std::uint64_t track) {
    if (events_++ > 0) buffer_ += ",\n";
    if (buffer_.size() >= flush_size) flush();
    return text(R"({"name":")")
        .text(name)
        .text(R"(","ph":")")
        .text(phase_type)
        .text(R"(","pid":1,"tid":)")
        .number(track);
  }
  // The timed part of a complete event: [start, end) in cycles.
  TraceWriter& span(std::uint64_t start, std::uint64_t end) {
    return text(R"(,"ts":)").number(start).text(R"(,"dur":)").number(end - start);
  }
  void flush() {
    out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
  }

 private:
  std::ostream& out_;
  std::string buffer_;
  std::size_t events_ = 0;
};

std::uint64_t tile_track(std::uint16_t tile) noexcept { return std::uint64_t{tile} + 1; }

void write_track_names(TraceWriter& writer, const Topology& topology,
                       const ExchangeDescription& description, const CompiledExchange& compiled) {
  writer.event("process_name", "M", phases_track).text(R"(,"args":{"name":"meshweave exchange"}})");
  // A scheduled exchange has no phases, so no phase track.
  if (!description.phases.empty()) {
    writer.event("thread_name", "M", phases_track).text(R"(,"args":{"name":"phases"}})");
    writer.event("thread_sort_index", "M", phases_track).text(R"(,"args":{"sort_index":0}})");
  }
  std::vector<bool> takes_part(std::size_t{std::numeric_limits<std::uint16_t>::max()} + 1);
  for_each_window(description, compiled,
                  [&](const TransferTiming&, const TransferView&, const TransferWindow& window) {
                    takes_part[window.tile] = true;
                  });
  for (std::size_t tile = 0; tile < takes_part.size(); ++tile) {
    if (!takes_part[tile]) continue;
    const auto logical = static_cast<std::uint16_t>(tile);
    const std::uint64_t track = tile_track(logical);
    writer.event("thread_name", "M", track).text(R"(,"args":{"name":"tile )").number(tile);
    if (const auto physical = topology.physical(logical)) {
      writer.text(" (physical ").number(*physical).text(")");
    }
    writer.text(R"("}})");
    writer.event("thread_sort_index", "M", track)
        .text(R"(,"args":{"sort_index":)")
        .number(track)
        .text("}}");
  }
}

void write_phases(TraceWriter& writer, const ExchangeDescription& description,
                  const CompiledExchange& compiled) {
  const std::size_t phases = std::min(compiled.phase_starts.size(), compiled.phase_ends.size());
  for (std::size_t p = 0; p < phases; ++p) {
    const std::uint64_t start = compiled.phase_starts[p];
    const std::uint64_t end = std::max<std::uint64_t>(compiled.phase_ends[p], start);
    const std::size_t transfers =
        p < description.phases.size() ? description.phases[p].transfers.size() : 0;
    writer.event("phase " + std::to_string(p), "X", phases_track)
        .span(start, end)
        .text(R"(,"args":{"phase":)")
        .number(p)
        .text(R"(,"transfers":)")
        .number(transfers)
        .text("}}");
  }
}

void write_windows(TraceWriter& writer, const ExchangeDescription& description,
                   const CompiledExchange& compiled) {
  const bool scheduled = description.phases.empty();
  for_each_window(description, compiled,
                  [&](const TransferTiming& timing, const TransferView& transfer,
                      const TransferWindow& window) {
                    const bool send = window.kind == WindowKind::Send;
                    writer.event(send ? "SEND" : "receive", "X", tile_track(window.tile))
                        .span(window.start, window.end)
                        .text(R"(,"args":{)");
                    if (!scheduled) writer.text(R"("phase":)").number(timing.phase).text(",");
                    writer.text(R"("transfer":)")
                        .number(timing.transfer)
                        .text(R"(,"words":)")
                        .number(transfer.count);
                    if (!send) {
                      writer.text(R"(,"from":)").number(transfer.sender).text("}}");
                      return;
                    }
                    writer.text(R"(,"to":)");
                    if (!transfer.multicast) {
                      writer.number(transfer.receivers[0]).text("}}");
                      return;
                    }
                    writer.text("[");
                    for (std::size_t i = 0; i < transfer.receivers.size(); ++i) {
                      if (i > 0) writer.text(",");
                      writer.number(transfer.receivers[i]);
                    }
                    writer.text("]}}");
                  });
}

}  // namespace

void write_chrome_trace(std::ostream& out, const Topology& topology,
                        const ExchangeDescription& description, const CompiledExchange& compiled) {
  TraceWriter writer(out);
  writer.text("{\"traceEvents\":[\n");
  write_track_names(writer, topology, description, compiled);
  write_phases(writer, description, compiled);
  write_windows(writer, description, compiled);
  writer.text("\n],\n\"otherData\":{\"time_unit\":\"1 us of the trace is 1 cycle\",\"horizon\":")
      .number(compiled.horizon)
      .text("}}\n");
  writer.flush();
}

}  // namespace meshweave::tool
