// The host side: packet headers, the transfer planner, the wrappers and the
// target and request programs.

#include <pybind11/functional.h>
#include <pybind11/stl.h>

#include <vector>

#include "binding_support.hpp"
#include "meshweave/host/operation_wrappers.hpp"
#include "meshweave/host/packet_header.hpp"
#include "meshweave/host/request_programs.hpp"
#include "meshweave/host/target_programs.hpp"
#include "meshweave/host/transfer_planner.hpp"

namespace meshweave::python {

namespace {

void bind_records(py::module_& m) {
  using py::arg;
  py::enum_<HostPacketSize>(m, "HostPacketSize",
                            "Size class: Short moves 4..60 bytes, Long 64..1024 bytes.")
      .value("Short", HostPacketSize::Short)
      .value("Long", HostPacketSize::Long);

  py::class_<HostPacketHeader> header(m, "HostPacketHeader",
                                      "The two words that open every host exchange packet.");
  header.def(py::init<std::uint32_t, std::uint32_t>(), arg("word0"), arg("word1"))
      .def_readonly("word0", &HostPacketHeader::word0)
      .def_readonly("word1", &HostPacketHeader::word1)
      .def("__repr__", [](const HostPacketHeader& self) { return to_string(self); });
  equality_and_hash(
      header, [](const HostPacketHeader& self) { return py::make_tuple(self.word0, self.word1); });

  py::class_<HostTransferChunk> chunk(
      m, "HostTransferChunk",
      "One packet of a host transfer: where its bytes start on both sides, how many, and its "
      "header.");
  chunk
      .def(py::init([](std::uint32_t tile_address, std::uint32_t host_offset, std::uint32_t bytes,
                       HostPacketHeader header_words) {
             return HostTransferChunk{tile_address, host_offset, bytes, header_words};
           }),
           arg("tile_address"), arg("host_offset"), arg("bytes"), arg("header"))
      .def_readonly("tile_address", &HostTransferChunk::tile_address)
      .def_readonly("host_offset", &HostTransferChunk::host_offset)
      .def_readonly("bytes", &HostTransferChunk::bytes)
      .def_readonly("header", &HostTransferChunk::header)
      .def("__repr__", [](const HostTransferChunk& self) {
        return "HostTransferChunk(tile_address=" + std::to_string(self.tile_address) +
               ", host_offset=" + std::to_string(self.host_offset) +
               ", bytes=" + std::to_string(self.bytes) + ", header=" + to_string(self.header) + ")";
      });
  equality_and_hash(chunk, [](const HostTransferChunk& self) {
    return py::make_tuple(self.tile_address, self.host_offset, self.bytes, self.header.word0,
                          self.header.word1);
  });

  py::class_<HostHierarchy> hierarchy(
      m, "HostHierarchy",
      "The two tiles of a host operation: the one that sends the xreq packet and the target.");
  hierarchy
      .def(py::init<std::uint16_t, std::uint16_t>(), arg("xreq_physical_tile"),
           arg("target_physical_tile"))
      .def_readonly("xreq_physical_tile", &HostHierarchy::xreq_physical_tile)
      .def_readonly("target_physical_tile", &HostHierarchy::target_physical_tile)
      .def("__repr__", [](const HostHierarchy& self) {
        return "HostHierarchy(xreq_physical_tile=" + std::to_string(self.xreq_physical_tile) +
               ", target_physical_tile=" + std::to_string(self.target_physical_tile) + ")";
      });
  equality_and_hash(hierarchy, [](const HostHierarchy& self) {
    return py::make_tuple(self.xreq_physical_tile, self.target_physical_tile);
  });

  py::class_<TileToHostProgram> program(
      m, "TileToHostProgram",
      "A host program and the words placed beside it: packet_words[k] at packet_address + 4k.");
  program
      .def(py::init([](py::handle instructions, py::handle packet_words) {
             return TileToHostProgram{words_from(instructions), words_from(packet_words)};
           }),
           arg("instructions"), arg("packet_words"))
      .def_property_readonly("instructions",
                             [](py::object self) {
                               return words_view(self.cast<const TileToHostProgram&>().instructions,
                                                 self);
                             })
      .def_property_readonly("packet_words",
                             [](py::object self) {
                               return words_view(self.cast<const TileToHostProgram&>().packet_words,
                                                 self);
                             })
      .def("__repr__", [](const TileToHostProgram& self) {
        return "TileToHostProgram(instructions=" + std::to_string(self.instructions.size()) +
               " words, packet_words=" + std::to_string(self.packet_words.size()) + " words)";
      });
  equality_and_hash(program, [](const TileToHostProgram& self) {
    return py::make_tuple(py::tuple(py::cast(self.instructions)),
                          py::tuple(py::cast(self.packet_words)));
  });
}

void bind_packet_headers(py::module_& m) {
  using py::arg;
  m.attr("HOST_TO_TILE_SHORT_OPCODE") = HOST_TO_TILE_SHORT_OPCODE;
  m.attr("HOST_TO_TILE_LONG_OPCODE") = HOST_TO_TILE_LONG_OPCODE;
  m.attr("TILE_TO_HOST_SHORT_OPCODE") = TILE_TO_HOST_SHORT_OPCODE;
  m.attr("TILE_TO_HOST_LONG_OPCODE") = TILE_TO_HOST_LONG_OPCODE;
  m.attr("MAX_HOST_PACKET_TILE") = MAX_HOST_PACKET_TILE;
  m.attr("HOST_EXCHANGE_WINDOW_BEGIN") = HOST_EXCHANGE_WINDOW_BEGIN;
  m.attr("HOST_EXCHANGE_WINDOW_END") = HOST_EXCHANGE_WINDOW_END;
  m.attr("EXCHANGE_ADDRESS_GRANULE") = EXCHANGE_ADDRESS_GRANULE;
  m.attr("HOST_MUX_BASE") = HOST_MUX_BASE;
  m.attr("HOST_MUX_TILE_MASK") = HOST_MUX_TILE_MASK;
  m.attr("HOST_TO_TILE_STREAM_END_BITS") = HOST_TO_TILE_STREAM_END_BITS;

  m.def(
      "validate_host_tile",
      [](std::uint16_t physical_tile) {
        value_or_raise(explained::validate_host_tile(physical_tile));
      },
      arg("physical_tile"), "Raises HostPacketError unless a host packet can name the tile.");
  m.def(
      "validate_host_to_tile_tile",
      [](std::uint16_t physical_tile) {
        value_or_raise(explained::validate_host_to_tile_tile(physical_tile));
      },
      arg("physical_tile"),
      "Raises HostPacketError unless a host-to-tile header can name the tile.");
  m.def(
      "host_mux_for_tile",
      [](std::uint16_t physical_tile) {
        return value_or_raise(explained::host_mux_for_tile(physical_tile));
      },
      arg("physical_tile"), "Host mux number of a tile.");
  m.def(
      "host_packet_size",
      [](std::uint32_t host_offset, std::uint32_t bytes) {
        return value_or_raise(explained::host_packet_size(host_offset, bytes));
      },
      arg("host_offset"), arg("bytes"), "Short when it fits, else Long when it fits.");
  m.def(
      "host_address_length",
      [](std::uint32_t host_offset, std::uint32_t bytes, HostPacketSize size) {
        return value_or_raise(explained::host_address_length(host_offset, bytes, size));
      },
      arg("host_offset"), arg("bytes"), arg("size"), "Word1's host address and length fields.");
  m.def("host_route_word0", &host_route_word0, arg("physical_tile"), "Routing bits of word0.");
  m.def("host_route_word1", &host_route_word1, arg("physical_tile"), "Routing bit of word1.");
  m.def(
      "host_to_tile_packet",
      [](std::uint16_t physical_tile, std::uint32_t tile_address, std::uint32_t host_offset,
         std::uint32_t bytes) {
        return value_or_raise(
            explained::host_to_tile_packet(physical_tile, tile_address, host_offset, bytes));
      },
      arg("physical_tile"), arg("tile_address"), arg("host_offset"), arg("bytes"),
      "Header of a host-to-tile packet.");
  m.def(
      "tile_to_host_packet",
      [](std::uint16_t physical_tile, std::uint32_t host_offset, std::uint32_t bytes) {
        return value_or_raise(explained::tile_to_host_packet(physical_tile, host_offset, bytes));
      },
      arg("physical_tile"), arg("host_offset"), arg("bytes"), "Header of a tile-to-host packet.");
  m.def(
      "zero_byte_read_packet",
      [](std::uint16_t physical_tile, std::uint32_t dummy_tile_address) {
        return value_or_raise(explained::zero_byte_read_packet(physical_tile, dummy_tile_address));
      },
      arg("physical_tile"), arg("dummy_tile_address"), "A host-to-tile Short header of no length.");
}

void bind_transfer_planner(py::module_& m) {
  using py::arg;
  m.attr("HOST_PAGE_BYTES") = HOST_PAGE_BYTES;
  m.attr("HOST_TO_TILE_MAX_BYTES") = HOST_TO_TILE_MAX_BYTES;
  m.attr("TILE_TO_HOST_MAX_BYTES") = TILE_TO_HOST_MAX_BYTES;
  m.def(
      "plan_host_transfer",
      [](std::uint32_t tile_address, std::uint32_t host_offset, std::uint32_t bytes,
         std::uint32_t long_max_bytes, const py::function& packet) {
        // The builder's own exceptions pass through unchanged.
        auto build = [&packet](std::uint32_t tile, std::uint32_t host,
                               std::uint32_t count) -> Result<HostPacketHeader> {
          return packet(tile, host, count).cast<HostPacketHeader>();
        };
        return copies(value_or_raise(explained::plan_host_transfer(tile_address, host_offset, bytes,
                                                                   long_max_bytes, build)));
      },
      arg("tile_address"), arg("host_offset"), arg("bytes"), arg("long_max_bytes"), arg("packet"),
      "Splits a transfer into chunks, calling packet(tile, host, count) for each chunk's "
      "HostPacketHeader; an exception of `packet` propagates.");
  m.def(
      "plan_host_to_tile",
      [](std::uint16_t physical_tile, std::uint32_t tile_address, std::uint32_t host_offset,
         std::uint32_t bytes) {
        return copies(value_or_raise(
            explained::plan_host_to_tile(physical_tile, tile_address, host_offset, bytes)));
      },
      arg("physical_tile"), arg("tile_address"), arg("host_offset"), arg("bytes"),
      "Chunks of up to 1024 bytes from host memory into the tile's host exchange window.");
  m.def(
      "plan_tile_to_host",
      [](std::uint16_t physical_tile, std::uint32_t tile_address, std::uint32_t host_offset,
         std::uint32_t bytes) {
        return copies(value_or_raise(
            explained::plan_tile_to_host(physical_tile, tile_address, host_offset, bytes)));
      },
      arg("physical_tile"), arg("tile_address"), arg("host_offset"), arg("bytes"),
      "Chunks of up to 256 bytes from tile memory out to host memory.");
}

void bind_wrappers(py::module_& m) {
  using py::arg;
  m.attr("SYNC_ALL_INSTRUCTION") = SYNC_ALL_INSTRUCTION;
  m.attr("SYNC_HOST_INSTRUCTION") = SYNC_HOST_INSTRUCTION;
  m.def(
      "host_hierarchy",
      [](std::uint16_t target_physical_tile) {
        return value_or_raise(explained::host_hierarchy(target_physical_tile));
      },
      arg("target_physical_tile"), "The xreq tile and the target tile of a host operation.");
  m.def(
      "wrap_host_operation",
      [](std::uint16_t physical_tile, py::handle operation, std::uint32_t entry_sync) {
        return words_to_python(value_or_raise(
            explained::wrap_host_operation(physical_tile, words_from(operation), entry_sync)));
      },
      arg("physical_tile"), arg("operation"), arg("entry_sync"),
      "`operation` between the prologue (mux load, `entry_sync`) and the epilogue.");
  m.def(
      "wrap_host_xreq_operation",
      [](std::uint16_t physical_tile, py::handle operation) {
        return words_to_python(value_or_raise(explained::wrap_host_operation(
            physical_tile, words_from(operation), SYNC_HOST_INSTRUCTION)));
      },
      arg("physical_tile"), arg("operation"), "The frame of the xreq tile.");
  m.def(
      "wrap_host_target_operation",
      [](std::uint16_t physical_tile, py::handle operation) {
        return words_to_python(value_or_raise(explained::wrap_host_operation(
            physical_tile, words_from(operation), SYNC_ALL_INSTRUCTION)));
      },
      arg("physical_tile"), arg("operation"), "The frame of the target tile.");
  m.def(
      "wrap_combined_host_operation",
      [](std::uint16_t physical_tile, py::handle operation, std::uint32_t xreq_packet_address) {
        return words_to_python(value_or_raise(explained::wrap_combined_host_operation(
            physical_tile, words_from(operation), xreq_packet_address)));
      },
      arg("physical_tile"), arg("operation"), arg("xreq_packet_address"),
      "One program for a tile that sends its own xreq packet and runs the target operation.");
  m.def(
      "append_local_host_completion",
      [](py::handle instructions) {
        std::vector<std::uint32_t> words = words_from(instructions);
        append_local_host_completion(words);
        return words_to_python(std::move(words));
      },
      arg("instructions"), "The words followed by the epilogue without its return.");
}

void bind_programs(py::module_& m) {
  using py::arg;
  m.attr("HOST_TRANSFER_SYNC_INSTRUCTION") = HOST_TRANSFER_SYNC_INSTRUCTION;
  m.def(
      "assemble_host_to_tile_target_program",
      [](std::uint16_t physical_tile, std::uint32_t tile_address, std::uint32_t host_offset,
         std::uint32_t bytes, std::uint32_t packet_address) {
        return value_or_raise(explained::assemble_host_to_tile_target_program(
            physical_tile, tile_address, host_offset, bytes, packet_address));
      },
      arg("physical_tile"), arg("tile_address"), arg("host_offset"), arg("bytes"),
      arg("packet_address"), "Target program of a host-to-tile transfer.");
  m.def(
      "assemble_tile_to_host_target_program",
      [](std::uint16_t physical_tile, std::uint32_t tile_address, std::uint32_t host_offset,
         std::uint32_t bytes, std::uint32_t packet_address, std::uint32_t command_address) {
        return value_or_raise(explained::assemble_tile_to_host_target_program(
            physical_tile, tile_address, host_offset, bytes, packet_address, command_address));
      },
      arg("physical_tile"), arg("tile_address"), arg("host_offset"), arg("bytes"),
      arg("packet_address"), arg("command_address"), "Target program of a tile-to-host transfer.");
  m.def(
      "tile_to_host_target_instructions",
      [](const std::vector<HostTransferChunk>& chunks, std::uint32_t packet_address,
         std::uint32_t close_address) {
        return words_to_python(value_or_raise(
            explained::tile_to_host_target_instructions(chunks, packet_address, close_address)));
      },
      arg("chunks"), arg("packet_address"), arg("close_address"),
      "The instructions of a tile-to-host target program for `chunks`.");
  m.def("bitmap_index", &bitmap_index, arg("physical_tile"),
        "Endpoint index of a tile in an xreq packet.");
  m.def(
      "assemble_host_xreq_program",
      [](std::uint16_t target_physical_tile, std::uint32_t packet_address) {
        return value_or_raise(assemble_host_xreq_program(target_physical_tile, packet_address));
      },
      arg("target_physical_tile"), arg("packet_address"), "Xreq program for one target.");
  m.def(
      "assemble_host_xreq_program_for_targets",
      [](const std::vector<std::uint16_t>& target_physical_tiles, std::uint32_t packet_address) {
        return value_or_raise(explained::assemble_host_xreq_program_for_targets(
            target_physical_tiles, packet_address));
      },
      arg("target_physical_tiles"), arg("packet_address"),
      "Xreq program naming every target in one packet.");
  m.def(
      "assemble_host_command_read_program",
      [](std::uint32_t packet_address, std::uint32_t destination_address,
         std::uint32_t host_offset) {
        return value_or_raise(explained::assemble_host_command_read_program(
            packet_address, destination_address, host_offset));
      },
      arg("packet_address"), arg("destination_address"), arg("host_offset"),
      "A complete local host operation for physical tile 0 that reads 4 bytes from the host.");
}

}  // namespace

void bind_host(py::module_& m) {
  bind_records(m);
  bind_packet_headers(m);
  bind_transfer_planner(m);
  bind_wrappers(m);
  bind_programs(m);
}

}  // namespace meshweave::python
