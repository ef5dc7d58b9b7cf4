#include "meshweave/host/operation_wrappers.hpp"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "frame_words.hpp"
#include "host_sends.hpp"

namespace meshweave {

namespace {

// Words of the target program that must run before the xreq SEND: the length
// load and the write of special register 166.
constexpr std::size_t combined_prefix_words = 2;

bool ends_in_return(std::span<const std::uint32_t> operation) noexcept {
  return !operation.empty() && operation.back() == RETURN_INSTRUCTION;
}

void append_prologue(std::vector<std::uint32_t>& out, std::uint32_t mux, std::uint32_t entry_sync) {
  out.push_back(host_frame::mux_load(mux));
  out.push_back(host_frame::mux_register_write);
  out.push_back(entry_sync);
}

void append_epilogue(std::vector<std::uint32_t>& out) {
  append_local_host_completion(out);
  out.push_back(RETURN_INSTRUCTION);
}

}  // namespace

namespace explained {

Explained<std::vector<std::uint32_t>> wrap_host_operation(std::uint16_t physical_tile,
                                                          std::span<const std::uint32_t> operation,
                                                          std::uint32_t entry_sync) {
  if (!ends_in_return(operation)) {
    return refuse(ExchangeError::schedule(schedule_message::host_target_operation_return),
                  Reason::operation_return, RefusedArgument::operation,
                  static_cast<std::uint32_t>(operation.size()));
  }
  const Explained<std::uint32_t> mux = host_mux_for_tile(physical_tile);
  if (!mux) return std::unexpected(mux.error());

  const std::span<const std::uint32_t> body = operation.first(operation.size() - 1);
  std::vector<std::uint32_t> out;
  out.reserve(host_frame::prologue_words + body.size() + host_frame::epilogue_words);
  append_prologue(out, *mux, entry_sync);
  out.insert(out.end(), body.begin(), body.end());
  append_epilogue(out);
  return out;
}

Explained<std::vector<std::uint32_t>> wrap_combined_host_operation(
    std::uint16_t physical_tile, std::span<const std::uint32_t> operation,
    std::uint32_t xreq_packet_address) {
  if (!ends_in_return(operation)) {
    return refuse(ExchangeError::schedule(schedule_message::local_host_operation_return),
                  Reason::operation_return, RefusedArgument::operation,
                  static_cast<std::uint32_t>(operation.size()));
  }
  const std::span<const std::uint32_t> body = operation.first(operation.size() - 1);
  const ExchangeError prefix_error =
      ExchangeError::schedule(schedule_message::local_host_operation_prefix);
  if (body.size() < combined_prefix_words) {
    return refuse(prefix_error, Reason::combined_operation_prefix, RefusedArgument::operation,
                  static_cast<std::uint32_t>(operation.size()));
  }
  if (xreq_packet_address % host_send::header_bytes != 0) {
    return refuse(prefix_error, Reason::packet_words_alignment,
                  RefusedArgument::xreq_packet_address, xreq_packet_address);
  }
  const Explained<std::uint32_t> mux = host_mux_for_tile(physical_tile);
  if (!mux) return std::unexpected(mux.error());
  const Explained<std::uint32_t> xreq_send =
      host_send::explained_header(xreq_packet_address, RefusedArgument::xreq_packet_address);
  if (!xreq_send) return std::unexpected(xreq_send.error());

  std::vector<std::uint32_t> out;
  out.reserve(host_frame::prologue_words + body.size() + 1 + host_frame::epilogue_words);
  append_prologue(out, *mux, SYNC_HOST_INSTRUCTION);
  const std::span<const std::uint32_t> prefix = body.first(combined_prefix_words);
  const std::span<const std::uint32_t> rest = body.subspan(combined_prefix_words);
  out.insert(out.end(), prefix.begin(), prefix.end());
  out.push_back(*xreq_send);
  out.insert(out.end(), rest.begin(), rest.end());
  append_epilogue(out);
  return out;
}

}  // namespace explained

Result<std::vector<std::uint32_t>> wrap_host_operation(std::uint16_t physical_tile,
                                                       std::span<const std::uint32_t> operation,
                                                       std::uint32_t entry_sync) {
  return without_reason(explained::wrap_host_operation(physical_tile, operation, entry_sync));
}

Result<std::vector<std::uint32_t>> wrap_host_xreq_operation(
    std::uint16_t physical_tile, std::span<const std::uint32_t> operation) {
  return wrap_host_operation(physical_tile, operation, SYNC_HOST_INSTRUCTION);
}

Result<std::vector<std::uint32_t>> wrap_host_target_operation(
    std::uint16_t physical_tile, std::span<const std::uint32_t> operation) {
  return wrap_host_operation(physical_tile, operation, SYNC_ALL_INSTRUCTION);
}

Result<std::vector<std::uint32_t>> wrap_combined_host_operation(
    std::uint16_t physical_tile, std::span<const std::uint32_t> operation,
    std::uint32_t xreq_packet_address) {
  return without_reason(
      explained::wrap_combined_host_operation(physical_tile, operation, xreq_packet_address));
}

void append_local_host_completion(std::vector<std::uint32_t>& instructions) {
  instructions.push_back(SYNC_ALL_INSTRUCTION);
  instructions.push_back(host_frame::mux_release_load);
  instructions.push_back(host_frame::mux_register_write);
}

}  // namespace meshweave
