"""Word sequences: numpy arrays without copies, or lists, with equal contents."""
import numpy
import pytest

import meshweave as mw

DESCRIPTION = {"phases": [{"transfers": [
    {"from": 0, "to": [1, 2], "words": 100, "source": 0, "destination": 0x1000}]}]}


def results(card):
    compiled = mw.compile_exchange(card, DESCRIPTION)
    plan = card.multicast(0, [1, 2, 3], 4)
    return {
        "program": compiled.programs[1].words,
        "sender": plan.sender,
        "receivers": plan.receivers,
        "assembled": mw.assemble("delay cycles=1\nsync operand=3"),
        "wrapped": mw.wrap_host_target_operation(5, [mw.RETURN_INSTRUCTION]),
        "arrivals": compiled.arrival_cycles(compiled.timings[0]),
    }


def test_numpy_and_list_results_are_equal(card, list_words):
    as_lists = results(card)
    mw.set_numpy_words(True)
    as_arrays = results(card)
    for name, value in as_lists.items():
        assert isinstance(value, list), name
        assert as_arrays[name].dtype == numpy.uint32, name
        assert as_arrays[name].tolist() == value, name


def test_views_share_their_owner_and_are_read_only(card):
    compiled = mw.compile_exchange(card, DESCRIPTION)
    words = compiled.programs[0].words
    assert not words.flags.writeable and not words.flags.owndata
    del compiled  # the view keeps its program alive
    assert words[0] == mw.ROW_ENTRY_INSTRUCTION and words[-1] == mw.RETURN_INSTRUCTION
    with pytest.raises(ValueError):
        words[0] = 0


@pytest.mark.parametrize("row", [
    numpy.array([0x41800003, 0x40a00086, 0x78400001, 0x43a00000, 0, 0, 0, 0, 0], dtype=numpy.uint32),
    [0x41800003, 0x40a00086, 0x78400001, 0x43a00000, 0, 0, 0, 0, 0],
    (0x41800003, 0x40a00086, 0x78400001, 0x43a00000, 0, 0, 0, 0, 0),
    numpy.array([0x41800003, 0x40a00086, 0x78400001, 0x43a00000, 0, 0, 0, 0, 0], dtype=numpy.int64),
])
def test_rows_in_any_integer_sequence(row):
    patched = mw.patch_sender_address(row, 0x52040)
    assert patched[2] == 0x784a4081 and row[2] == 0x78400001  # the input is not changed


@pytest.mark.parametrize("row, error", [
    ([0] * 8, ValueError),
    ([2 ** 32] + [0] * 8, ValueError),
    ([-1] + [0] * 8, ValueError),
    ([1.5] + [0] * 8, TypeError),
    ("nine char", TypeError),
])
def test_bad_rows(row, error):
    with pytest.raises(error):
        mw.offset_plan(row, 1)


def test_program_builder(card):
    plan = card.point_to_point(0, 1, 4)
    builder = mw.PlanProgramBuilder()
    builder.append_scheduled_row(plan.sender)
    before = builder.words
    with pytest.raises(mw.ScheduleError):
        builder.finish(horizon=0)
    assert list(builder.words) == list(before)  # unchanged on failure
    program = builder.finish(horizon=300)
    assert mw.plan_event_cycles(program) == 300 and program[-1] == mw.RETURN_INSTRUCTION
    assert builder == mw.PlanProgramBuilder()


def test_records_compare_and_hash(card):
    assert {card.point_to_point(0, 1, 4), card.point_to_point(0, 1, 4)} == {
        card.point_to_point(0, 1, 4)}
    assert mw.Topology.m1472() == card and mw.Topology([0, 1]) != card
    assert mw.Instruction(mw.InstructionKind.Delay, cycles=134) == mw.decode(0x40a00086)
    assert mw.decode(0x22bbffe0).fields == {"destination": 11, "source": 11, "immediate": -32}
    with pytest.raises(AttributeError):
        card.point_to_point(0, 1, 4).sender = None
