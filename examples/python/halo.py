#!/usr/bin/env python3
"""A 2-D halo exchange on a 16 x 16 grid of tiles, from plan to picture.

Plans the halo with the collectives, schedules and compiles its exchange,
verifies the programs and replays the data flow, then plots how many tiles
are busy sending or receiving in each cycle into a PNG.

Usage: halo.py [OUT.png]   (default halo.png)
Exits with status 77 when matplotlib is missing.
"""
import sys

import meshweave as mw

ROWS, COLUMNS, WORDS = 16, 16, 64


def busy_tiles(description, compiled):
    """Tiles busy in each cycle: a sender while it sends, a receiver while its words arrive."""
    import numpy

    busy = numpy.zeros((mw.M1472_TILE_COUNT, compiled.horizon), dtype=bool)
    for timing in compiled.timings:
        transfer = description.transfers[timing.transfer].transfer
        receivers = ([transfer.receiver] if isinstance(transfer, mw.PointToPointTransfer)
                     else transfer.receivers)
        busy[transfer.sender, timing.send_cycle:timing.send_cycle + timing.count] = True
        for receiver, arrival in zip(receivers, compiled.arrival_cycles(timing)):
            busy[receiver, arrival:arrival + timing.count] = True
    return busy.sum(axis=0)


def main():
    output = sys.argv[1] if len(sys.argv) > 1 else "halo.png"
    try:
        import matplotlib
    except ImportError:
        print("matplotlib is missing; nothing plotted", file=sys.stderr)
        return 77
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    card = mw.Topology.m1472()
    halo = mw.HaloWords(north=WORDS, south=WORDS, west=WORDS, east=WORDS, rows=ROWS,
                        columns=COLUMNS, periodic=True)
    request = mw.CollectiveRequest(mw.CollectiveKind.Halo, tiles=list(range(ROWS * COLUMNS)),
                                   input=0x10000, output=0x20000, halo=halo)
    plan = mw.plan_collective(card, request)
    print(mw.explain_choice(plan), end="")

    compiled_steps = []
    for step in plan.steps:
        schedule = mw.schedule_exchange(card, step.exchange)
        compiled = mw.compile_exchange(card, step.exchange, schedule)
        issues = mw.verify_exchange(card, step.exchange, compiled)
        if issues:
            print("\n".join(str(issue) for issue in issues), file=sys.stderr)
            return 1
        compiled_steps.append(compiled)
    problems = mw.replay_collective(card, plan, compiled_steps)
    if problems:
        print("\n".join(str(problem) for problem in problems), file=sys.stderr)
        return 1

    figure, axes = plt.subplots(figsize=(8, 3))
    offset = 0
    for step, compiled in zip(plan.steps, compiled_steps):
        busy = busy_tiles(step.exchange, compiled)
        axes.plot(range(offset, offset + len(busy)), busy, linewidth=0.8)
        offset += len(busy)
    axes.set_xlabel("cycle")
    axes.set_ylabel("busy tiles")
    axes.set_title(f"halo of {WORDS} words on a {ROWS} x {COLUMNS} periodic grid")
    figure.tight_layout()
    figure.savefig(output, dpi=100)
    total = sum(c.horizon for c in compiled_steps)
    print(f"{len(compiled_steps)} step(s), {total} cycles, verified; busy tiles plotted in {output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
