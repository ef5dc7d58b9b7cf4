#pragma once

// Per tile and per byte range, the latest end of the windows that read (sent
// from) or wrote (received into) it so far. A transfer that must follow every
// earlier overlapping window asks for the latest end over its range, so the
// cost of a dependency check grows with the ranges it overlaps, not with
// everything placed before it.
#include <cstdint>
#include <map>

namespace meshweave::exchange_detail {

// Two clocks kept side by side: the windows' ends in the schedule being built,
// and their ends in the dependency-only lower bound (no tile constraints).
struct WindowEnds {
  std::int64_t placed = 0;
  std::int64_t bound = 0;
};

class RangeClock {
 public:
  // Latest ends over the pieces overlapping [begin, end); 0 where none.
  WindowEnds latest(std::uint64_t begin, std::uint64_t end) const;
  // Raises the ends recorded for [begin, end) to at least `ends`.
  void raise(std::uint64_t begin, std::uint64_t end, WindowEnds ends);

 private:
  struct Piece {
    std::uint64_t end;
    WindowEnds ends;
  };
  // Disjoint pieces by their first byte.
  std::map<std::uint64_t, Piece> pieces_;
};

}  // namespace meshweave::exchange_detail
