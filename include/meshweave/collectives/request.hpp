#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "meshweave/exchange/compiler.hpp"

namespace meshweave {

// The collectives. Below, the participants are the request's tiles in the
// given order, tile j being "participant j", n of them; `words` is the shard
// size; slot j of a buffer is its words [words * j, words * (j + 1)), at byte
// address base + 4 * words * j. Every participant uses the same addresses.
// Where a tile's own data must land in its own output, the plan says so with
// a local copy (a Combine of one source), since no tile sends to itself.
//
// Scratch, from the request's scratch address, on every participant:
// - Flat reductions (rings): 2 * words: the part received, the running sum.
// - Direct reductions: n * words: slot j holds participant j's contribution.
// - Hierarchical reductions: 3 * g * words for groups of g: the sum of the
//   group's part across the groups, the part received, the running sum.
// - Hierarchical scatter and gather: g * words on the leaders: their group's chunk.
// - Hierarchical all-to-all: 2 * n * words: the blocks to send in the next
//   step, then the blocks received in the first.
// Every other algorithm uses no scratch. CollectivePlan::scratch_words gives
// the size of the plan at hand.
enum class CollectiveKind : std::uint8_t {
  // Participant j's input shard lands at the output of participant j + 1 mod n.
  RingShift,
  // Participants laid out row by row on a rows x columns grid; see HaloWords.
  Halo,
  // The root's input (`words` long, any length) lands at every other participant's output.
  Broadcast,
  // Slot j of the root's input lands at participant j's output.
  Scatter,
  // Participant j's input lands in slot j of the root's output.
  Gather,
  // Participant j's input lands in slot j of every participant's output.
  AllGather,
  // Slot k of participant j's input lands in slot j of participant k's output.
  AllToAll,
  // Participant k's output holds the combination over all participants of slot k of their input.
  ReduceScatter,
  // Every participant's output (n slots) holds the combination over all
  // participants of their input (n slots), slot by slot.
  AllReduce,
};

enum class CollectiveAlgorithm : std::uint8_t {
  // The candidate with the shortest estimated horizon (ties: the earlier one
  // in the order flat, direct, hierarchical by increasing group size).
  Auto,
  // Every tile exchanges with every tile it must reach (reductions: a ring).
  Flat,
  // Reductions only: every tile sends each slot to its owner, which combines once.
  Direct,
  // Groups of consecutive participants, each led by its first member (or by
  // the root, in the root's group). Broadcast and scatter pass through the
  // leaders; gather collects each group's chunk at its leader first;
  // all-gather collects at the leaders, then every leader multicasts its
  // group's chunk to all other participants. Reductions run rings across the
  // groups over whole-group parts, then rings within each group. All-to-all
  // sees the participants as a grid, group by group: each tile exchanges
  // with the members of its group, then with the tiles at its place in the
  // other groups, one block of shards per partner each time. For reductions
  // and all-to-all the group size must divide the number of tiles.
  Hierarchical,
};

// Halo exchange words per direction. Grid position of participant j:
// row j / columns, column j % columns; north is the row above. A tile's input
// holds the blocks it sends, in the order north, south, west, east; its output
// the blocks it receives, in the order of the side they come from: from the
// north neighbour (its south block), from the south (its north block), from
// the west (its east block), from the east (its west block). A block of 0
// words is left out of both buffers. With open edges a tile on the border
// neither sends over it nor receives from it (that part of its output is
// left as it was); with periodic edges the grid wraps round, except where the
// neighbour would be the tile itself.
struct HaloWords {
  std::uint32_t north = 0;
  std::uint32_t south = 0;
  std::uint32_t west = 0;
  std::uint32_t east = 0;
  std::uint16_t rows = 0;  // rows * columns must equal the number of participants
  std::uint16_t columns = 0;
  bool periodic = false;

  friend bool operator==(const HaloWords&, const HaloWords&) = default;
};

struct CollectiveRequest {
  CollectiveKind kind = CollectiveKind::AllGather;
  CollectiveAlgorithm algorithm = CollectiveAlgorithm::Auto;
  // Logical tiles taking part, in participant order; empty means every tile
  // of the topology in logical order.
  std::vector<std::uint16_t> tiles;
  // Shard size in words (Broadcast: the whole message). Unused by Halo.
  std::uint32_t words = 0;
  // Participant index of the root (Broadcast, Scatter, Gather).
  std::uint16_t root = 0;
  // Byte addresses of the buffers, the same on every participant.
  std::uint32_t input = 0;
  std::uint32_t output = 0;
  std::uint32_t scratch = 0;  // used only by algorithms that need it (see CollectivePlan)
  // Group size of Hierarchical; 0 lets the planner choose.
  std::uint16_t group_size = 0;
  HaloWords halo;

  friend bool operator==(const CollectiveRequest&, const CollectiveRequest&) = default;
};

// Why a collective could not be planned.
struct CollectiveError {
  enum class Kind : std::uint8_t {
    Tiles,      // the participant list is unusable
    Words,      // a word count is zero or too large
    Root,       // the root is not a participant index
    Grid,       // the halo grid does not match the participants
    Buffer,     // a buffer passes the end of tile memory, is misaligned or overlaps another
    Algorithm,  // the algorithm or group size does not apply to this collective
    Compile,    // estimating a candidate failed; `compile` says why
  };
  Kind kind = Kind::Tiles;
  std::string message;
  std::optional<CompileError> compile;

  friend bool operator==(const CollectiveError&, const CollectiveError&) = default;
};

// "buffer: output bytes 0xfff00..0x100100 pass the end of tile memory (0x100000)"
std::string to_string(const CollectiveError& error);

// The kind's enumerator name ("Tiles", "Words", ...); to_string writes it in
// lower case.
std::string_view kind_name(CollectiveError::Kind kind) noexcept;

// Names as the command line writes them: "ring-shift", "halo", "broadcast",
// "scatter", "gather", "all-gather", "all-to-all", "reduce-scatter",
// "all-reduce"; algorithms "auto", "flat", "direct", "hierarchical".
std::string_view collective_name(CollectiveKind kind) noexcept;
std::string_view algorithm_name(CollectiveAlgorithm algorithm) noexcept;
std::optional<CollectiveKind> parse_collective(std::string_view name) noexcept;
std::optional<CollectiveAlgorithm> parse_algorithm(std::string_view name) noexcept;
// Every collective, in declaration order.
std::span<const CollectiveKind> all_collectives() noexcept;
// The concrete algorithms a collective offers (Auto excluded), Flat first.
std::span<const CollectiveAlgorithm> algorithms_of(CollectiveKind kind) noexcept;

}  // namespace meshweave
