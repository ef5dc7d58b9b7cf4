#pragma once

#include <cstdint>
#include <optional>

#include "meshweave/host/target_programs.hpp"

namespace meshweave::host_program {

// assemble_tile_to_host_target_program for a transfer that no check can refuse,
// written run by run (chunk_runs.hpp) straight into the program without a chunk
// list: the same words. Nothing when any check might refuse it; the checked
// assembler then finds which one, in its order.
std::optional<TileToHostProgram> tile_to_host_in_runs(
    std::uint16_t physical_tile, std::uint32_t tile_address, std::uint32_t host_offset,
    std::uint32_t bytes, std::uint32_t packet_address, std::uint32_t command_address);

}  // namespace meshweave::host_program
