// The tile map, the route model and the tile-to-tile planners.

#include <pybind11/stl.h>

#include <vector>

#include "binding_support.hpp"
#include "meshweave/topology/route.hpp"
#include "meshweave/topology/topology.hpp"

namespace meshweave::python {

void bind_topology(py::module_& m) {
  using py::arg;
  m.attr("M1472_TILE_COUNT") = M1472_TILE_COUNT;
  m.def("m1472_logical_to_physical", &m1472_logical_to_physical, arg("logical"),
        "The closed-form M1472 map from logical to physical tile number.");
  m.def("route_displacement", &route_displacement, arg("source"), arg("destination"),
        "Signed position of physical tile `destination` relative to `source` along the exchange.");
  m.def("direction", &direction, arg("source"), arg("destination"),
        "Direction field (1 or 2) of a SEND between two physical tiles.");
  m.def(
      "time_to_mux", &time_to_mux, arg("source"), arg("destination"),
      "Signed cycle offset from physical tile `source` to the input multiplexer of `destination`.");

  py::class_<Topology> topology(m, "Topology",
                                "The map from logical to physical tile numbers. Read-only.");
  topology
      .def(py::init([](const std::vector<std::uint16_t>& logical_to_physical) {
             return Topology(logical_to_physical);
           }),
           arg("logical_to_physical"),
           "A topology from a table: entry i is the physical number of logical tile i.")
      .def_static("m1472", &Topology::m1472, "The M1472 card: logical tiles 0..1471.")
      .def_property_readonly("tile_count", &Topology::tile_count, "Number of logical tiles.")
      .def_property_readonly(
          "logical_to_physical",
          [](const Topology& self) { return tiles_to_python(self.logical_to_physical()); },
          "The table, as a list of physical tile numbers.")
      .def(
          "physical",
          [](const Topology& self, std::uint16_t logical) {
            return value_or_raise(self.physical(logical));
          },
          arg("logical"), "Physical number of `logical`; TileError when it is off the topology.")
      .def(
          "point_to_point",
          [](const Topology& self, std::uint16_t sender_logical, std::uint16_t receiver_logical,
             std::uint32_t count) {
            return value_or_raise(
                explained::point_to_point(self, sender_logical, receiver_logical, count));
          },
          arg("sender_logical"), arg("receiver_logical"), arg("count"),
          "Plans moving `count` words from one tile to another.")
      .def(
          "multicast",
          [](const Topology& self, std::uint16_t sender_logical,
             const std::vector<std::uint16_t>& receiver_logical, std::uint32_t count,
             std::uint32_t schedule_offset) {
            return value_or_raise(explained::multicast(self, sender_logical, receiver_logical,
                                                       count, schedule_offset));
          },
          arg("sender_logical"), arg("receiver_logical"), arg("count"), arg("schedule_offset") = 0,
          "Plans moving `count` words from one tile to every tile of `receiver_logical`, "
          "starting `schedule_offset` cycles after the earliest start the routes allow.")
      .def("__repr__", [](const Topology& self) {
        return "Topology(tile_count=" + std::to_string(self.tile_count()) + ")";
      });
  equality_and_hash(topology, [](const Topology& self) {
    return py::tuple(py::cast(std::vector<std::uint16_t>(self.logical_to_physical().begin(),
                                                         self.logical_to_physical().end())));
  });
}

}  // namespace meshweave::python
