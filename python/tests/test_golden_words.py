"""The same words as the C++ library: its documented words and the tool's golden files."""
import json
import re

import pytest

import meshweave as mw
from conftest import SOURCE_DIR

GOLDEN = SOURCE_DIR / "tests" / "tool" / "golden"
LISTED_WORD = re.compile(r"^\s+\d+\s+[\d-]+\s+0x([0-9a-f]{8})", re.M)
PACKET_WORD = re.compile(r"^\s+0x[0-9a-f]+\s+0x([0-9a-f]{8})$", re.M)


def listed(text):
    return [int(word, 16) for word in LISTED_WORD.findall(text)]


@pytest.mark.parametrize("call, word", [
    (lambda: mw.delay(134), 0x40a00086),
    (lambda: mw.delay_pic(127, 1, 0x3ffff), 0x63ffffff),
    (lambda: mw.delay_xpic(2, 0, 1600), 0x64008640),
    (lambda: mw.encode_send(count_minus_one=1, direction=3, base_word=82041), 0x782a03cb),
    (lambda: mw.send_off(0xfff, 7, 0x7ff), 0x77efffff),
    (lambda: mw.instruction_advance(mw.send_off(4083, 1, 0)), 4084),
    (lambda: mw.set_instruction_advance(0x40a00086, 1), 0x40a00000),
    (lambda: mw.br_m(10), 0x43a00000),
    (lambda: mw.put_special_from_m8(166), 0x438080a6),
    (lambda: mw.encode_add_m_immediate(destination=11, source=11, immediate=-32), 0x22bbffe0),
    (lambda: mw.encode_shl_m_immediate(10, 7, 2), 0x427aa002),
    (lambda: mw.m1472_logical_to_physical(46), 1409),
    (lambda: mw.time_to_mux(32, 260), 49),
    (lambda: mw.route_displacement(0, 53), 13),
    (lambda: mw.direction(5, 5), 2),
    (lambda: mw.host_mux_for_tile(116), 0x634),
    (lambda: mw.bitmap_index(1471), 45),
    (lambda: mw.plan_event_cycles([0x41800003, 0x40a00016, 0x78400003, 0x43a00000]), 26),
    (lambda: mw.encode(mw.decode(0x70100000)), 0x70100000),
    (lambda: mw.host_to_tile_packet(260, 0x50120, 64, 64),
     mw.HostPacketHeader(word0=0xec820209, word1=0x00000011)),
    (lambda: mw.tile_to_host_packet(1409, 64, 64), mw.HostPacketHeader(0xa2c08000, 0x80000011)),
    (lambda: mw.host_hierarchy(260), mw.HostHierarchy(4, 260)),
    (lambda: list(mw.patch_sender_address([0x41800003, 0x40a00086, 0x78400001, 0x43a00000,
                                           0, 0, 0, 0, 0], 0x52040))[2], 0x784a4081),
    (lambda: list(mw.offset_plan([0x41800003, 0x40a00086, 0x78400001, 0x43a00000, 0, 0, 0, 0, 0],
                                 524358)),
     [0x41800003, 0x40a7ffff, 0x40a00045, 0x40a00086, 0x78400001, 0x43a00000, 0, 0, 0]),
    (lambda: list(mw.finalize_point_receiver([1, 0x41800003, 0x641c0000, 0x61980000, 0x6402c640,
                                              0x40a00038, 0x43a00000, 0, 0], 9)),
     [0x41800003, 0x641c0009, 0x61980000, 0x6402c640, 0x40a00038, 0x43a00000, 0, 0, 0]),
])
def test_documented_words(call, word):
    assert call() == word


def test_plan_matches_tool(card):
    golden = listed((GOLDEN / "plan_p2p.txt").read_text())
    plan = card.point_to_point(sender_logical=1286, receiver_logical=1471, count=65)
    sender, receiver = golden[:5], golden[5:]
    assert list(plan.sender[:len(sender)]) == sender
    assert list(plan.receiver[:len(receiver)]) == receiver


def test_decode_matches_tool():
    text = (GOLDEN / "decode.txt").read_text().splitlines()
    for line in text:
        word, listing = line.split("  ", 1)
        assert mw.disassemble(int(word, 16)) == listing
        assert str(mw.decode(int(word, 16))) == listing
        assert list(mw.assemble(line)) == [int(word, 16)]


@pytest.mark.parametrize("golden, program", [
    ("host_to_tile.txt", lambda: mw.assemble_host_to_tile_target_program(
        physical_tile=63, tile_address=0x50000, host_offset=64, bytes=4096,
        packet_address=0x54000)),
    ("host_from_tile.txt", lambda: mw.assemble_tile_to_host_target_program(
        0, 0x50000, 0, 96, 0x50400, 0x50200)),
    ("host_xreq.txt", lambda: mw.assemble_host_xreq_program_for_targets(
        [31, 81, 768, 1471], 0x50120)),
    ("host_command_read.txt", lambda: mw.assemble_host_command_read_program(
        packet_address=0x50160, destination_address=0x50180, host_offset=0x1000)),
])
def test_host_programs_match_tool(golden, program):
    text = (GOLDEN / golden).read_text()
    result = program()
    assert list(result.instructions) == listed(text)
    assert list(result.packet_words) == [int(w, 16) for w in PACKET_WORD.findall(text)]


def test_compiled_programs_match_tool(card):
    with open(SOURCE_DIR / "examples" / "multiphase.json") as file:
        description = json.load(file)
    compiled = mw.compile_exchange(card, description)
    expected = {}
    for line in (GOLDEN / "compile_multiphase_hex.txt").read_text().splitlines():
        tile, words = line.split(":")
        expected[int(tile)] = [int(word, 16) for word in words.split()]
    assert {p.logical: list(p.words) for p in compiled.programs} == expected
    assert mw.verify_exchange(card, description, compiled) == []
