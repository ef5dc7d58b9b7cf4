// Encodes a few exchange words and looks tiles up on the M1472 card.
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <meshweave/meshweave.hpp>

int main() {
  using namespace meshweave;

  std::printf("DELAY of 135 cycles        0x%08x\n", delay(134));
  std::printf("XPIC naming tile 1600      0x%08x\n", delay_xpic(2, 0, 1600));
  if (const auto send = encode_send(1, 3, 82041)) {
    std::printf("SEND 2 words from 0x%05x 0x%08x (%u cycles)\n", 82041u * 4, *send,
                instruction_advance(*send));
  }
  if (const auto bad = encode_send(64, 3, 0); !bad) {
    std::printf("SEND of 65 words          %s\n", to_string(bad.error()).c_str());
  }

  const Topology card = Topology::m1472();
  for (const std::uint16_t logical :
       {std::uint16_t{0}, std::uint16_t{46}, std::uint16_t{736}, std::uint16_t{1471}}) {
    const std::uint16_t physical = card.physical(logical).value();
    std::printf("logical %4u -> physical %4u\n", unsigned{logical}, unsigned{physical});
  }
  const std::uint32_t from = card.physical(736).value();
  const std::uint32_t to = card.physical(100).value();
  std::printf("route %u -> %u: displacement %d, direction %u, time_to_mux %d\n", from, to,
              route_displacement(from, to), direction(from, to), time_to_mux(from, to));
  std::printf("physical(1472): %s\n", to_string(card.physical(1472).error()).c_str());
  return 0;
}
