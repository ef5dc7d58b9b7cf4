"""Errors raised with the library's kind, payload and one-line rendering."""
import pytest

import meshweave as mw

ROW = [0x41800003, 0x40a00086, 0x78400001, 0x43a00000, 0, 0, 0, 0, 0]


@pytest.mark.parametrize("call, kind, text, payload", [
    (lambda t: t.physical(1472), mw.TileError, "Tile(1472)", {"tile": 1472}),
    (lambda t: t.point_to_point(0, 1, 0), mw.CountError, "Count(0)",
     {"count": 0, "reason": "count_range", "argument": "word count"}),
    (lambda t: t.point_to_point(3, 3, 4), mw.ExchangeError, None, {"reason": "same_tile"}),
    (lambda t: t.multicast(0, [], 4), mw.ReceiverSetError, "ReceiverSet", {}),
    (lambda t: mw.encode_send(64, 1, 0), mw.ScheduleError, 'Schedule("send instruction operand")',
     {"message": "send instruction operand"}),
    (lambda t: mw.set_instruction_advance(0x40a00086, 0), mw.ScheduleError,
     'Schedule("zero event advance")', {}),
    (lambda t: mw.encode_br_m(16), mw.ScheduleError, 'Schedule("branch register")', {}),
    (lambda t: mw.validate_count(4149), mw.CountError, "Count(4149)", {"count": 4149}),
    (lambda t: mw.offset_plan(ROW, 5 * 2 ** 19 + 1), mw.PlanOffsetRangeError,
     "PlanOffsetRange { cycles: 2621441, maximum: 2621440 }",
     {"cycles": 2621441, "maximum": 2621440, "reason": "offset_range"}),
    (lambda t: mw.patch_sender_address(ROW, 0x52042), mw.AddressError, "Address(335938)",
     {"address": 0x52042, "reason": "row_address_alignment",
      "explanation": "source address 0x52042: plan rows address tile memory in whole 4-byte words"}),
    (lambda t: mw.host_to_tile_packet(2048, 0x50000, 0, 64), mw.HostPacketError, "HostPacket",
     {"explanation": "tile 2048: host-to-tile headers reach physical tiles 0 to 2047"}),
])
def test_library_errors(card, call, kind, text, payload):
    with pytest.raises(kind) as raised:
        call(card)
    error = raised.value
    assert isinstance(error, mw.ExchangeError) and isinstance(error, ValueError)
    if text is not None:
        assert str(error) == text
    for name, value in payload.items():
        assert getattr(error, name) == value


def test_errors_compare_by_kind_and_payload(card):
    errors = []
    for count in (0, 0, 5000):
        try:
            card.point_to_point(0, 1, count)
        except mw.CountError as error:
            errors.append(error)
    assert errors[0] == errors[1] and hash(errors[0]) == hash(errors[1])
    assert errors[0] != errors[2]


@pytest.mark.parametrize("description, kind, text, fields", [
    ({"phases": [{"transfers": [{"from": 0, "to": 1, "words": 4, "source": 0, "destination": 0},
                                {"from": 1, "to": 2, "words": 4, "source": 0, "destination": 0}]}]},
     "TileConflict", "phase 0: tile 1 takes part in transfers 0 and 1",
     {"tile": 1, "transfer": 1, "other_transfer": 0, "error": None}),
    ({"phases": [{"transfers": [{"from": 0, "to": 1472, "words": 4, "source": 0,
                                 "destination": 0}]}]},
     "Library", "phase 0, transfer 0: Tile(1472)", {"phase": 0, "transfer": 0}),
    ({"phases": [{"transfers": [{"from": 0, "to": 1, "words": 4148, "source": "0xffff0",
                                 "destination": 0}]}]},
     "AddressRange", None, {"tile": 0}),
])
def test_compile_errors(card, description, kind, text, fields):
    with pytest.raises(mw.CompileError) as raised:
        mw.compile_exchange(card, description)
    error = raised.value
    assert error.kind == kind
    if text is not None:
        assert str(error) == text
    for name, value in fields.items():
        assert getattr(error, name) == value


def test_compile_error_carries_library_error(card):
    bad = {"phases": [{"transfers": [{"from": 0, "to": 1472, "words": 4, "source": 0,
                                      "destination": 0}]}]}
    with pytest.raises(mw.CompileError) as raised:
        mw.estimate_exchange(card, bad)
    assert raised.value.error == mw.TileError("Tile(1472)", tile=1472)


@pytest.mark.parametrize("request_args, kind", [
    (dict(kind=mw.CollectiveKind.AllGather, tiles=[0, 0], words=4), "Tiles"),
    (dict(kind=mw.CollectiveKind.AllGather, tiles=[0, 1], words=0), "Words"),
    (dict(kind=mw.CollectiveKind.Broadcast, tiles=[0, 1], words=4, root=2), "Root"),
    (dict(kind=mw.CollectiveKind.Halo, tiles=[0, 1, 2], halo=mw.HaloWords(north=1, rows=2,
                                                                          columns=2)), "Grid"),
    (dict(kind=mw.CollectiveKind.AllGather, tiles=[0, 1], words=4, output=0xffff0), "Buffer"),
])
def test_collective_errors(card, request_args, kind):
    with pytest.raises(mw.CollectiveError) as raised:
        mw.plan_collective(card, mw.CollectiveRequest(**request_args))
    assert raised.value.kind == kind
    assert str(raised.value).endswith(raised.value.message)


@pytest.mark.parametrize("text, line, column, reason", [
    ("bogus", 1, 1, "unknown mnemonic `bogus`"),
    ("delay cycles=134\nsend count_minus_one=64 direction=1 base_word=0", 2, 6, None),
])
def test_assembly_errors(text, line, column, reason):
    with pytest.raises(mw.AssemblyError) as raised:
        mw.assemble(text)
    assert (raised.value.line, raised.value.column) == (line, column)
    if reason is not None:
        assert raised.value.reason == reason
    assert str(raised.value).startswith(f"line {line}, column {column}: ")
