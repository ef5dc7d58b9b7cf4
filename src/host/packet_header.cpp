#include "meshweave/host/packet_header.hpp"

#include <ostream>
#include <string>

namespace meshweave {

std::string to_string(const HostPacketHeader& header) {
  return "HostPacketHeader { word0: " + std::to_string(header.word0) +
         ", word1: " + std::to_string(header.word1) + " }";
}

std::ostream& operator<<(std::ostream& out, const HostPacketHeader& header) {
  return out << to_string(header);
}

}  // namespace meshweave
