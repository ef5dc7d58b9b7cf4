#pragma once

#include <iosfwd>
#include <string>

namespace meshweave::tool {

enum class CostFormat { Text, Json };

struct CostRequest {
  std::string input_path;  // "-" reads standard input
  CostFormat format = CostFormat::Text;
  bool schedule = false;  // a phase form loses its barriers and is scheduled
};

// `meshweave cost`: what compiling a description would give (see
// exchange_cost.hpp), without building its programs. Returns the exit status.
int run_cost(const CostRequest& request, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace meshweave::tool
