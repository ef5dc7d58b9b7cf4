"""Dict descriptions (as json.load gives them) and typed ones compile alike."""
import json

import pytest

import meshweave as mw
from conftest import SOURCE_DIR

PHASES = {"topology": "m1472", "phases": [
    {"transfers": [
        {"from": 0, "to": 1, "words": 64, "source": "0x50000", "destination": "0x51000"},
        {"from": 5, "to": [6, 7, 8], "words": 16, "source": 4096,
         "destination": ["0x52000", "0x52040", "0x52080"]}]},
    {"transfers": [{"from": 1, "to": [0, 5], "words": 300, "source": "0x51000",
                    "destination": "0x60000"}]}]}
TYPED_PHASES = mw.ExchangeDescription(phases=[
    mw.Phase([mw.PointToPointTransfer(0, 1, 64, 0x50000, 0x51000),
              mw.MulticastTransfer(5, [6, 7, 8], 16, 4096, [0x52000, 0x52040, 0x52080])]),
    mw.Phase([mw.MulticastTransfer(sender=1, receivers=[0, 5], count=300,
                                   source_address=0x51000, destination_addresses=[0x60000])])])

TRANSFERS = {"transfers": [
    {"id": "load", "from": 0, "to": 1, "words": 6000, "source": "0x10000",
     "destination": "0x20000"},
    {"from": 1, "to": [2, 3], "words": 256, "source": "0x20000", "destination": "0x30000"},
    {"from": 4, "to": 0, "words": 64, "source": "0x50000", "destination": "0x60000",
     "after": ["load"]}]}
TYPED_TRANSFERS = mw.ExchangeDescription(transfers=[
    mw.ScheduledTransfer(mw.PointToPointTransfer(0, 1, 6000, 0x10000, 0x20000)),
    mw.ScheduledTransfer(mw.MulticastTransfer(1, [2, 3], 256, 0x20000, [0x30000])),
    mw.ScheduledTransfer(mw.PointToPointTransfer(4, 0, 64, 0x50000, 0x60000), after=[0])])


@pytest.mark.parametrize("as_dict, typed", [(PHASES, TYPED_PHASES),
                                            (TRANSFERS, TYPED_TRANSFERS)])
def test_dict_and_typed_forms_compile_alike(card, as_dict, typed):
    assert mw.ExchangeDescription.from_dict(as_dict) == typed
    from_dict = mw.compile_exchange(card, as_dict)
    assert from_dict == mw.compile_exchange(card, typed)
    assert mw.verify_exchange(card, typed, from_dict) == []
    assert mw.estimate_exchange(card, as_dict).horizon == from_dict.horizon


def test_examples_load_with_json(card):
    for name in ("ring16.json", "ring16_scheduled.json", "pipeline.json", "broadcast.json"):
        with open(SOURCE_DIR / "examples" / name) as file:
            description = json.load(file)
        compiled = mw.compile_exchange(card, description)
        assert mw.verify_exchange(card, description, compiled) == [], name


def test_schedule_then_compile_gives_the_same_programs(card):
    schedule = mw.schedule_exchange(card, TRANSFERS)
    assert [piece.count for piece in schedule.pieces] == [4148, 1852, 256, 64]
    assert mw.compile_exchange(card, TRANSFERS, schedule) == mw.compile_exchange(card, TRANSFERS)


@pytest.mark.parametrize("threads", [1, 2, 0])
def test_batch_compile_matches_one_by_one_and_returns_errors_in_place(card, threads):
    # Tile 1 would receive twice in one phase.
    bad = {"phases": [{"transfers": [
        {"from": 0, "to": 1, "words": 1, "source": 0, "destination": 64},
        {"from": 2, "to": 1, "words": 1, "source": 0, "destination": 128}]}]}
    results = mw.compile_exchanges(card, [PHASES, bad, TYPED_TRANSFERS], threads=threads)
    assert results[0] == mw.compile_exchange(card, PHASES)
    assert isinstance(results[1], mw.CompileError)
    with pytest.raises(mw.CompileError) as raised:
        mw.compile_exchange(card, bad)
    assert str(results[1]) == str(raised.value)
    assert results[2] == mw.compile_exchange(card, TRANSFERS)


def test_timings_and_arrival_cycles(card):
    compiled = mw.compile_exchange(card, PHASES)
    multicast = compiled.timings[1]
    arrivals = list(compiled.arrival_cycles(multicast))
    sender = card.physical(5)
    assert arrivals == [multicast.send_cycle + mw.time_to_mux(sender, card.physical(r)) + 1
                        for r in (6, 7, 8)]
    other = mw.compile_exchange(card, PHASES)
    with pytest.raises(ValueError):
        compiled.arrival_cycles(other.timings[0])


@pytest.mark.parametrize("description, path, text", [
    ({"phases": [{"transfers": [{"from": 0, "to": 1, "words": 4, "source": 0}]}]},
     "phases[0].transfers[0]", 'missing "destination"'),
    ({"phases": [{"transfers": [{"from": 0, "to": 1, "words": "4", "source": 0,
                                 "destination": 0}]}]},
     "phases[0].transfers[0].words", "expected an integer, found a string"),
    ({"phases": [{"transfers": [{"from": -1, "to": 1, "words": 4, "source": 0,
                                 "destination": 0}]}]},
     "phases[0].transfers[0].from", "tile -1 is negative"),
    ({"phases": [{"transfers": [{"from": 0, "to": [1, 70000], "words": 4, "source": 0,
                                 "destination": 0}]}]},
     "phases[0].transfers[0].to[1]", "tile 70000 does not fit 65535"),
    ({"phases": [{"transfers": [{"from": 0, "to": 1, "words": 4, "source": "0x5g",
                                 "destination": 0}]}]},
     "phases[0].transfers[0].source", None),
    ({"phases": [{"transfers": [{"from": 0, "to": 1, "words": 4, "source": 0,
                                 "destination": [0]}]}]},
     "phases[0].transfers[0].destination", "a point-to-point transfer has one destination address"),
    ({"phases": [], "transfers": []}, "transfers", None),
    ({}, "", 'missing "phases" (or "transfers")'),
    ({"transfers": [{"id": "a", "from": 0, "to": 1, "words": 4, "source": 0, "destination": 0},
                    {"id": "a", "from": 2, "to": 3, "words": 4, "source": 0, "destination": 0}]},
     "transfers[1].id", 'duplicate id "a" (also transfers[0])'),
    ({"transfers": [{"from": 0, "to": 1, "words": 4, "source": 0, "destination": 0,
                     "after": ["x"]}]},
     "transfers[0].after[0]", 'unknown id "x"'),
    ({"phases": [{"transfers": [{"from": 0, "to": 1, "words": 4, "source": 0, "destination": 0,
                                 "id": "a"}]}]},
     "phases[0].transfers[0].id", None),
])
def test_unreadable_dicts(card, description, path, text):
    with pytest.raises(mw.DescriptionError) as raised:
        mw.compile_exchange(card, description)
    assert raised.value.path == path
    if text is not None:
        assert str(raised.value) == (f"{path}: {text}" if path else text)


def test_check_form_and_conflicts():
    cycle = {"transfers": [
        {"id": "a", "from": 0, "to": 1, "words": 4, "source": 0, "destination": 0, "after": ["b"]},
        {"id": "b", "from": 2, "to": 3, "words": 4, "source": 0, "destination": 0,
         "after": ["a"]}]}
    with pytest.raises(mw.CompileError) as raised:
        mw.check_form(cycle)
    assert raised.value.kind == "AfterCycle"
    conflicts = mw.find_tile_conflicts({"phases": [{"transfers": [
        {"from": 0, "to": 1, "words": 4, "source": 0, "destination": 0},
        {"from": 1, "to": [0, 2], "words": 4, "source": 0, "destination": 0}]}]}, limit=1)
    assert conflicts.total == 2 and len(conflicts.first) == 1
    assert (conflicts.first[0].tile, conflicts.first[0].transfer) == (1, 1)
