#!/usr/bin/env python3
"""Turns the JSON output of meshweave_report_bench into the performance table.

Each workload's time per iteration is set against the floor measured in the same
run: memcpy of as many bytes as the workload writes (BM_CopyFloor at the nearest
measured size, scaled to the workload's byte count).
"""
import json
import math
import sys

NAMES = {
    "BM_EncodeWords": "encode 4096 words (mixed encoders)",
    "BM_PointToPointAllPairs": "point_to_point, all 1472 x 1471 pairs",
    "BM_MulticastToAllTiles": "multicast to all 1471 other tiles",
    "BM_AppendRows/10000": "append 10^4 rows to a builder",
    "BM_AppendRows/100000": "append 10^5 rows to a builder",
    "BM_TileToHostMebibyte": "plan + assemble 1 MiB tile-to-host",
    "BM_CompileFullCardShift": "compile 100-phase full-card shift",
}
UNIT_NS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}


def human(ns):
    for unit, scale in (("s", 1e9), ("ms", 1e6), ("us", 1e3)):
        if ns >= scale:
            return f"{ns / scale:.3g} {unit}"
    return f"{ns:.3g} ns"


def main(path):
    with open(path) as f:
        data = json.load(f)
    runs = [b for b in data["benchmarks"] if b.get("run_type", "iteration") == "iteration"]
    floors = []
    for b in runs:
        if b["name"].startswith("BM_CopyFloor/"):
            size = b["output_bytes"]
            floors.append((size, b["real_time"] * UNIT_NS[b["time_unit"]] / size))
    if not floors:
        sys.exit("no BM_CopyFloor results in " + path)

    def floor_ns(size):
        nearest = min(floors, key=lambda f: abs(math.log(max(size, 1)) - math.log(f[0])))
        return size * nearest[1]

    context = data.get("context", {})
    # library_build_type is how Google Benchmark itself was built, not meshweave.
    load = ", ".join(f"{x:.2f}" for x in context.get("load_avg", []))
    print(f"machine: {context.get('num_cpus', '?')} cpus at {context.get('mhz_per_cpu', '?')} MHz, "
          f"load average {load or '?'}, {context.get('date', '')}")
    header = ("workload", "items", "time/iter", "time/item", "output", "copy floor", "ratio")
    rows = []
    for b in runs:
        name = b["name"]
        if name not in NAMES:
            continue
        time_ns = b["real_time"] * UNIT_NS[b["time_unit"]]
        items = b["items"]
        size = b["output_bytes"]
        floor = floor_ns(size)
        rows.append((NAMES[name], f"{items:.0f}", human(time_ns), human(time_ns / items),
                     f"{size / 1024:.1f} KiB", human(floor), f"{time_ns / floor:.1f}x"))
    widths = [max(len(r[i]) for r in rows + [header]) for i in range(len(header))]
    line = lambda r: "| " + " | ".join(c.ljust(w) for c, w in zip(r, widths)) + " |"
    print(line(header))
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for r in rows:
        print(line(r))


if __name__ == "__main__":
    main(sys.argv[1])
