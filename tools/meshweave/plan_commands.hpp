#pragma once

#include <cstdint>
#include <iosfwd>
#include <vector>

namespace meshweave::tool {

struct PointToPointRequest {
  std::uint64_t sender = 0;
  std::uint64_t receiver = 0;
  std::uint64_t words = 0;
};

struct MulticastRequest {
  std::uint64_t sender = 0;
  std::vector<std::uint64_t> receivers;
  std::uint64_t words = 0;
  std::uint64_t offset = 0;  // schedule_offset
};

// `meshweave plan p2p` and `meshweave plan multicast`: the plan's rows as
// returned by the planner (addresses 0, the point-to-point receiver still a
// template), each word with its cycle and disassembly.
int run_plan_point_to_point(const PointToPointRequest& request, std::ostream& out,
                            std::ostream& err);
int run_plan_multicast(const MulticastRequest& request, std::ostream& out, std::ostream& err);

}  // namespace meshweave::tool
