"""The event sink takes a Python callable; compiling releases the GIL."""
import threading

import pytest

import meshweave as mw


def test_sink_receives_events_from_planning(card):
    events = []
    mw.set_event_sink(events.append)
    try:
        assert mw.event_sink() is not None
        card.point_to_point(0, 1, 4)
        card.multicast(0, [1, 2], 4, schedule_offset=3)
    finally:
        mw.set_event_sink(None)
    card.point_to_point(0, 1, 4)
    assert [e.message for e in events] == ["assembled point-to-point exchange",
                                           "assembled multicast exchange"]
    assert events[0].fields == {"sender_logical": "0", "receiver_logical": "1", "count": "4"}
    assert str(events[0]) == ("debug meshweave: assembled point-to-point exchange "
                              "sender_logical=0 receiver_logical=1 count=4")
    assert mw.event_sink() is None


@pytest.mark.filterwarnings("ignore::pytest.PytestUnraisableExceptionWarning")
def test_sink_level_filters_and_a_failing_sink_does_not_fail_planning(card):
    seen = []
    mw.set_event_sink(seen.append, level=mw.EventLevel.Info)
    card.point_to_point(0, 1, 4)
    mw.set_event_sink(lambda event: 1 / 0)
    try:
        assert card.point_to_point(0, 1, 4) == card.point_to_point(0, 1, 4)
    finally:
        mw.set_event_sink(None)
    assert seen == []


def test_compiles_on_threads_with_a_sink(card):
    description = {"phases": [{"transfers": [
        {"from": t, "to": t + 1, "words": 32, "source": 0, "destination": 0x1000}
        for t in range(0, 64, 2)]}]}
    expected = mw.compile_exchange(card, description)
    count = []
    mw.set_event_sink(count.append)
    results = [None] * 4
    try:
        threads = [threading.Thread(target=lambda i=i: results.__setitem__(
            i, mw.compile_exchange(card, description))) for i in range(4)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    finally:
        mw.set_event_sink(None)
    assert all(result == expected for result in results)
    assert len(count) == 4 * 32
