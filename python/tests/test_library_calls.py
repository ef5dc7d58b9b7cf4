"""Calls whose results tie together: the same answer reached two ways."""
import pytest

import meshweave as mw


def test_header_builder_callable_gives_the_library_split():
    built = mw.plan_host_transfer(
        0x50000, 64, 4096, mw.HOST_TO_TILE_MAX_BYTES,
        lambda tile, host, count: mw.host_to_tile_packet(63, tile, host, count))
    assert built == mw.plan_host_to_tile(63, 0x50000, 64, 4096)
    assert [chunk.bytes for chunk in built] == [1024, 1024, 1024, 960, 64]


def test_header_builder_exceptions_propagate():
    def refuse(tile, host, count):
        raise KeyError(tile)

    with pytest.raises(KeyError):
        mw.plan_host_transfer(0x50000, 0, 64, 1024, refuse)


@pytest.mark.parametrize("word, kind, fields", [
    (0x40a00086, mw.InstructionKind.Delay, {"cycles": 134}),
    (0x766fc001, mw.InstructionKind.SendContinuation,
     {"count_minus_one": 4083, "direction": 1, "base_word": 0, "reserved": 0}),
    (0x438080a0, mw.InstructionKind.Put, {"special": 160, "reg": 8}),
    (0x22bbffe0, mw.InstructionKind.Add, {"destination": 11, "source": 11, "immediate": -32}),
    (0x41800013, mw.InstructionKind.Data, {"word": 0x41800013}),
])
def test_instructions_round_trip(word, kind, fields):
    instruction = mw.Instruction(kind, **fields)
    assert instruction == mw.decode(word) and mw.encode(instruction) == word
    assert mw.assemble(mw.disassemble(word))[0] == word


def test_instruction_refuses_unknown_fields_and_bad_operands():
    with pytest.raises(TypeError):
        mw.Instruction(mw.InstructionKind.Delay, wait=1)
    with pytest.raises(mw.ScheduleError) as raised:
        mw.encode(mw.Instruction(mw.InstructionKind.Delay, cycles=2 ** 19))
    assert raised.value.message == "delay advance overflow"


def test_normalize_sender_instruction(card):
    plan = card.point_to_point(0, 1, 4)
    words, found = mw.normalize_sender_instruction(mw.patch_sender_address(plan.sender, 0x50000))
    assert found == (2, mw.patch_sender_address(plan.sender, 0x50000)[2])
    assert list(words) == list(plan.sender)
    assert mw.normalize_sender_instruction([mw.ROW_ENTRY_INSTRUCTION])[1] is None


def test_collective_estimate_matches_its_compile(card):
    request = mw.CollectiveRequest(mw.CollectiveKind.AllGather, tiles=list(range(64)), words=8,
                                   input=0x10000, output=0x20000, scratch=0x40000)
    plan = mw.plan_collective(card, request)
    chosen = plan.candidates[plan.chosen]
    assert chosen.horizon == min(c.horizon for c in plan.candidates)
    assert chosen.algorithm == plan.algorithm
    compiled = mw.compile_collective(card, plan)
    assert mw.estimate_collective(card, plan).horizon == sum(c.horizon for c in compiled)
    assert mw.replay_collective(card, plan, compiled) == []
    assert "(chosen)" in mw.explain_choice(plan)


def test_transfers_form_of_phases():
    phases = {"phases": [
        {"transfers": [{"from": 0, "to": 1, "words": 4, "source": 0, "destination": 0}]},
        {"transfers": [{"from": 1, "to": [2, 3], "words": 4, "source": 0, "destination": 16}]}]}
    transfers = mw.to_transfers_form(phases).transfers
    assert [t.transfer for t in transfers] == [
        mw.PointToPointTransfer(0, 1, 4, 0, 0), mw.MulticastTransfer(1, [2, 3], 4, 0, [16])]
