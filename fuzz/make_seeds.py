#!/usr/bin/env python3
"""Writes the seed inputs of every fuzz target into fuzz/corpus/<target>/.

Each seed is a documented case (a word, a plan, a transfer) laid out in the
byte format its target reads: integers little-endian, in the order the
target's header comment lists them. Run it again after changing a format.
"""
import pathlib
import shutil
import struct

ROOT = pathlib.Path(__file__).resolve().parent
CORPUS = ROOT / "corpus"
RETURN = 0x43A00000


def u8(*v): return b"".join(struct.pack("<B", x & 0xFF) for x in v)
def u16(*v): return b"".join(struct.pack("<H", x & 0xFFFF) for x in v)
def u32(*v): return b"".join(struct.pack("<I", x & 0xFFFFFFFF) for x in v)


def write(target, name, data):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data if isinstance(data, bytes) else data.encode())


def control_words():
    # word, advance, then the operands a, b, c
    cases = {
        "delay_rewritten_to_10": (0x40A00086, 10, 134, 0, 0),
        "delay_advance_overflow": (0x40A00086, 0x80001, 0x7FFFF, 0, 0),
        "xpic_rewritten_to_4096": (0x64008640, 4096, 2, 0, 1600),
        "send_is_not_a_delay": (0x78400001, 3, 1, 3, 82041),
        "pic_largest_fields": (0x63FFFFFF, 128, 127, 1, 0x3FFFF),
        "continuation_4084_words": (0x766FC001, 0, 4083, 1, 0),
    }
    for name, values in cases.items():
        write("control_words_fuzzer", name, u32(*values))


def scalar_encoders():
    # registers r0..r3, then u32, i32 and u16 immediates
    cases = {
        "call_and_put_166": (u8(10, 11, 15, 166), u32(0x4C100, -32), u16(4095)),
        "setzi_largest": (u8(15, 8, 0, 160), u32(0xFFFFF, 32767), u16(2)),
        "all_out_of_range": (u8(16, 16, 16, 255), u32(0x200000, 32768), u16(4096)),
    }
    for name, parts in cases.items():
        write("scalar_encoders_fuzzer", name, b"".join(parts))


def topology_routes():
    # source, destination (u32), logical (u16), then an optional custom table
    write("topology_routes_fuzzer", "sender_32_to_260", u32(32, 260) + u16(736))
    write("topology_routes_fuzzer", "sender_0_to_53", u32(0, 53) + u16(1286))
    write("topology_routes_fuzzer", "far_corner", u32(1471, 0) + u16(46))
    write("topology_routes_fuzzer", "custom_table",
          u32(9, 53) + u16(1472) + u16(3 - 1) + u16(0, 9, 53))


def point_to_point():
    # shape (bit 0: raw, bit 1: custom table), sender, receiver (u16), count
    # (u32), [table length - 1 (u8), entries (u16)], then operations: row byte,
    # operation byte, u32 argument
    def op(row, code, argument): return u8(row, code) + u32(argument)
    write("point_to_point_fuzzer", "patched_and_offset",
          u8(1) + u16(0, 1286) + u32(3)
          + op(0, 0, 0x52040) + op(1, 3 + 8, 0) + op(1, 1, 0x53080) + op(0, 2, 524358)
          + op(1, 2, 1572865))
    write("point_to_point_fuzzer", "split_receive_52", u8(1) + u16(736, 100) + u32(52))
    write("point_to_point_fuzzer", "continuation_65", u8(1) + u16(1286, 1471) + u32(65))
    write("point_to_point_fuzzer", "largest_4148", u8(1) + u16(32, 0) + u32(4148) + op(0, 4, 0))
    write("point_to_point_fuzzer", "no_sender_delay", u8(1) + u16(780, 0) + u32(1))
    write("point_to_point_fuzzer", "duplicate_tile", u8(1) + u16(5, 5) + u32(4))
    # Physical 2016 to 0 is 130 cycles to the mux: the SEND would start before cycle 0.
    write("point_to_point_fuzzer", "sender_delay_too_short",
          u8(3) + u16(0, 1) + u32(1) + u8(2 - 1) + u16(2016, 0))


def multicast():
    # shape (bit 0 raw, bit 1 everyone, bit 2 custom table), sender (u16),
    # count, offset (u32), [table length - 1 (u8), entries (u16)], receiver
    # count (u8), receivers (u16)
    def plan(shape, sender, count, offset, receivers, table=b""):
        return u8(shape) + u16(sender) + u32(count, offset) + table + u8(len(receivers)) + u16(*receivers)
    write("multicast_fuzzer", "same_mux_time", plan(1, 0, 3, 0, [274, 1286]))
    write("multicast_fuzzer", "two_routes_52", plan(1, 736, 52, 0, [100, 900]))
    write("multicast_fuzzer", "continuation_65", plan(1, 0, 65, 0, [274]))
    write("multicast_fuzzer", "latest_start", plan(1, 0, 1, 4067, [1]))
    write("multicast_fuzzer", "late_receive", plan(1, 736, 1, 4095, [100]))
    write("multicast_fuzzer", "everyone", plan(3, 0, 1, 0, []))
    write("multicast_fuzzer", "custom_table", plan(5, 0, 16, 0, [1, 2], u8(3 - 1) + u16(0, 64, 1471)))


def program_builder():
    # steps: step byte, then sender, receiver, count (u16), nudge (u8) and,
    # for a random row, nine kind bytes each with a u32; bit 7: finish at a u32
    def planned(step, sender, receiver, count, nudge=0):
        return u8(step) + u16(sender, receiver, count - 1) + u8(nudge)
    def finish(offset): return u8(0x80) + u32(0x100 + offset)
    write("program_builder_fuzzer", "receive_then_send",
          planned(1, 0, 736, 64) + planned(0, 736, 1286, 64, 1) + finish(78))
    write("program_builder_fuzzer", "send_inside_occupied",
          planned(1, 0, 736, 64) + planned(0x40, 736, 1286, 64))
    write("program_builder_fuzzer", "point_to_point_rows",
          planned(0x22, 0, 1286, 3) + planned(2, 1286, 1471, 65, 5) + finish(0))
    # Random rows (step 0x23: entry word forced): a DELAY of 5 cycles, then a
    # row whose DELAYs straddle it around an untimed SETZI.
    def random_row(kinds):
        return u8(0x23) + u16(0, 0, 0) + u8(0) + b"".join(u8(k) + u32(v) for k, v in kinds)
    first = [(7, 0), (0, 4), (5, 0)] + [(7, 0)] * 6
    second = [(7, 0), (0, 2), (6, 0), (0, 9), (3, 0), (5, 0), (7, 0), (7, 0), (7, 0)]
    write("program_builder_fuzzer", "random_rows",
          random_row(first) + random_row(second) + finish(6))


def host_transfer():
    # shape (bit 0 raw), tile (u16), tile address, host offset, bytes (u32),
    # largest chunk of the shared splitter (u16), failing chunk (u8)
    def transfer(tile, tile_address, host_offset, size, long_max=1024, fail_at=255):
        return u8(1) + u16(tile) + u32(tile_address, host_offset, size) + u16(long_max) + u8(fail_at)
    write("host_transfer_fuzzer", "three_short_chunks", transfer(1409, 0x50000, 4, 100))
    write("host_transfer_fuzzer", "never_aligned", transfer(2, 0x60004, 4, 2200, 256, 3))
    write("host_transfer_fuzzer", "cut_at_page", transfer(63, 0x50000, 64, 4096))
    write("host_transfer_fuzzer", "off_grid_after_page", transfer(0, 0x50000, 4068, 32, 64, 0))
    write("host_transfer_fuzzer", "host_offset_overflow", transfer(0, 0, 0xFFFFFF00, 256, 256))


def host_programs():
    # shape (bit 0 raw), tile (u16), operation (length byte, then a kind byte
    # and u32 per word), entry word, xreq address, tile address, host offset,
    # bytes, packet address, command address (u32), targets (count byte, u16)
    def case(tile, operation, entry, xreq, tile_address, host_offset, size, packet, command, targets):
        return (u8(1) + u16(tile) + u8(len(operation)) + b"".join(u8(2) + u32(w) for w in operation)
                + u32(entry, xreq, tile_address, host_offset, size, packet, command)
                + u8(len(targets)) + u16(*targets))
    target_program = [0x19800001, 0x438080A6, 0x782A02C3, 0x79EA0243, 0x40A00001, 0x782A02D3,
                      0x41800000, RETURN]
    write("host_programs_fuzzer", "tile_260_one_chunk",
          case(260, target_program, 0x41800007, 0x50160, 0x50120, 64, 64, 0x50160, 0x50180,
               [31, 81, 768, 1471]))
    write("host_programs_fuzzer", "combined_tile_0",
          case(0, [0x19800010, 0x438080A6, 0x782A02D3, 0x41800000, RETURN], 0x41800003, 0x50160,
               0x50000, 0, 96, 0x50400, 0x50200, [0, 1, 4, 60, 61]))
    write("host_programs_fuzzer", "five_chunks_to_tile",
          case(63, [RETURN], 0x41800003, 0x50164, 0x50000, 64, 4096, 0xFFFF0, 0x50180, [31]))
    # The request header's address, packet address + 8, passes 32 bits.
    write("host_programs_fuzzer", "command_read_at_top_of_memory",
          case(0, [RETURN], 0, 0x50160, 0x50000, 0, 64, 0xFFFFFFF8, 0x50000, []))
    write("host_programs_fuzzer", "bad_addresses",
          case(4096, [0x41800000], 0, 0x100000, 0x50004, 2, 6, 0x50164, 0x54000, [4096]))


def disassembly():
    # mode byte 0: words; 1: text; 2: an instruction value
    documented = [0x41800003, 0x40A00086, 0x61800000, 0x641C0000, 0x782A03CB, 0x766FC001,
                  0x19800640, 0x438080A0, RETURN, 0x13013040, 0x18A13040, 0x01B8F001,
                  0x4FB2F000, 0x22BBFFE0, 0x42800001, 0x427AA002, 0x41800013, 0x70100000]
    write("disassembly_fuzzer", "documented_words", u8(0) + u32(*documented))
    listing = "\n".join([
        "delay cycles=134 ; 135 cycles",
        "delay_pic wait=48 flag=0 address=0x0",
        "delay_xpic wait=112 flag=0 selector=0",
        "send count_minus_one=1 direction=3 base_word=0x14079",
        "send_off count_minus_one=4083 direction=1 base_word=0x0",
        "sync operand=3 ; row entry",
        "setzi register=8 immediate=1600",
        "put special=160 register=8",
        "br register=10",
        "brz register=0 target_address=0x4c100",
        "call return_register=10 target_address=0x4c100",
        "ld32 destination=8 base=11 delta=15 word_offset=1",
        "st32 source=2 base=11 delta=15 word_offset=0",
        "add destination=11 source=11 immediate=-32",
        "and destination=0 source=8 immediate=1",
        "shl destination=10 source=7 immediate=2",
        ".word 0x41800013",
    ]) + "\n"
    write("disassembly_fuzzer", "listing", u8(1) + listing.encode())
    write("disassembly_fuzzer", "bad_operand", u8(1) + b"\n  ld32 destination=16 base=0 delta=0 word_offset=1\n")
    write("disassembly_fuzzer", "missing_operand", u8(1) + b"send count_minus_one=1 direction=3")
    write("disassembly_fuzzer", "add_value", u8(2) + u8(13) + u32(11, 11, -32, 0))


def exchange_reader():
    # JSON text, or a zero byte, a shape byte and bytes that draw a description
    for example in sorted((ROOT.parent / "examples").glob("*.json")):
        shutil.copyfile(example, CORPUS / "exchange_reader_fuzzer" / example.name)
    write("exchange_reader_fuzzer", "two_phases.json",
          '{"topology": "m1472", "phases": [{"transfers": [\n'
          '  {"from": 0, "to": 1, "words": 64, "source": "0x50000", "destination": "0x51000"},\n'
          '  {"from": 5, "to": [6, 7], "words": 16, "source": 4096, "destination": "0x52000"}]},\n'
          ' {"transfers": [{"from": 1, "to": 0, "words": 4148, "source": 0, "destination": 0}]}]}\n')
    write("exchange_reader_fuzzer", "duplicate_key.json",
          '{"phases": [{"transfers": [{"from": 0, "from": 1, "to": 2, "words": 1, '
          '"source": 0, "destination": 0}]}]}')
    write("exchange_reader_fuzzer", "tile_conflict.json",
          '{"phases": [{"transfers": [{"from": 0, "to": 1, "words": 1, "source": 0, "destination": 0},'
          ' {"from": 2, "to": [3, 1], "words": 1, "source": 0, "destination": [0, 4]}]}]}')
    one_transfer = u16(3) + u8(2) + u16(1, 2) + u16(63) + u32(0x28000, 0x28800)
    write("exchange_reader_fuzzer", "generated_phases",
          u8(0, 4) + u8(3) + (u8(1) + one_transfer) * 3)


if __name__ == "__main__":
    (CORPUS / "exchange_reader_fuzzer").mkdir(parents=True, exist_ok=True)
    for make in (control_words, scalar_encoders, topology_routes, point_to_point, multicast,
                 program_builder, host_transfer, host_programs, disassembly, exchange_reader):
        make()
