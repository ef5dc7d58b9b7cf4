#pragma once

#include <atomic>
#include <cstdint>
#include <span>

// How the planners announce a finished plan. The flag keeps the common case, no
// sink installed, down to one relaxed load and a branch at the call site.
namespace meshweave::plan_events {

// True while a sink is installed (set_event_sink keeps it in step).
extern std::atomic<bool> sink_installed;

inline bool wanted() noexcept { return sink_installed.load(std::memory_order_relaxed); }

void emit_point_to_point(std::uint16_t sender_logical, std::uint16_t receiver_logical,
                         std::uint32_t count) noexcept;
void emit_multicast(std::uint16_t sender_logical, std::span<const std::uint16_t> receiver_logical,
                    std::uint32_t count, std::uint32_t schedule_offset) noexcept;

}  // namespace meshweave::plan_events
