// Built against the installed package: encodes a word and looks a tile up.
#include <meshweave/meshweave.hpp>

int main() {
  const auto send = meshweave::encode_send(1, 3, 82041);
  const auto topology = meshweave::Topology::m1472();
  const auto physical = topology.physical(46);
  const bool ok = send && *send == 0x782a03cbu && physical && *physical == 1409 &&
                  meshweave::to_string(meshweave::ExchangeError::tile(1472)) == "Tile(1472)";
  return ok ? 0 : 1;
}
