#!/usr/bin/env python3
"""Costs of the Python package against the C++ library (release build).

1. Per call: Topology.point_to_point from Python against the C++ call
   (meshweave_plans_bench, BM_PointToPoint: sender 0, receivers cycling 1..1471,
   64 words).
2. The full-card all-to-all (bench/generators/all_to_all.py: 2,165,312 transfers
   in 2,964 phases): json.load, dict conversion and compile_exchange from Python,
   against meshweave_all_to_all_bench compiling the same description in C++.
   Memory is the peak resident size: of the C++ benchmark process, and of the
   Python process from just before compiling (its peak is reset there, so the
   JSON objects freed before do not count; the description stays held).

Usage: python_bindings_bench.py [--build build/release] [--skip-all-to-all]
"""
import argparse
import gc
import json
import os
import pathlib
import subprocess
import sys
import tempfile
import time
import timeit

SOURCE = pathlib.Path(__file__).resolve().parents[1]


def status_kib(field):
    for line in pathlib.Path("/proc/self/status").read_text().splitlines():
        if line.startswith(field + ":"):
            return int(line.split()[1])
    raise RuntimeError(field)


def run_cpp(binary, *arguments):
    """The benchmark's JSON report and the child's peak resident size in KiB."""
    process = subprocess.Popen([str(binary), "--benchmark_format=json", *arguments],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    out = process.stdout.read()
    _, status, usage = os.wait4(process.pid, 0)
    if status != 0:
        raise RuntimeError(f"{binary} failed ({status})")
    return json.loads(out), usage.ru_maxrss


def per_call(meshweave, plans_bench):
    card = meshweave.Topology.m1472()
    point_to_point = card.point_to_point
    receivers = list(range(1, 1472))

    def calls():
        for receiver in receivers:
            point_to_point(0, receiver, 64)

    def loop_only():
        for receiver in receivers:
            pass

    rounds = 200
    python_ns = min(timeit.repeat(calls, number=rounds, repeat=5)) / (rounds * 1471) * 1e9
    loop_ns = min(timeit.repeat(loop_only, number=rounds, repeat=5)) / (rounds * 1471) * 1e9
    report, _ = run_cpp(plans_bench, "--benchmark_filter=^BM_PointToPoint$",
                        "--benchmark_repetitions=5", "--benchmark_report_aggregates_only=true")
    cpp_ns = min(b["real_time"] for b in report["benchmarks"] if b.get("aggregate_name") == "median")
    print(f"point_to_point per call: Python {python_ns:.0f} ns (loop alone {loop_ns:.0f} ns), "
          f"C++ {cpp_ns:.1f} ns, above C++ {python_ns - loop_ns - cpp_ns:.0f} ns")


def all_to_all_child(path):
    """Runs in a fresh interpreter: load, convert, compile; prints one JSON line."""
    import meshweave
    card = meshweave.Topology.m1472()
    start = time.perf_counter()
    with open(path) as file:
        loaded = json.load(file)
    load_s = time.perf_counter() - start
    start = time.perf_counter()
    description = meshweave.ExchangeDescription.from_dict(loaded)
    convert_s = time.perf_counter() - start
    del loaded
    gc.collect()
    pathlib.Path("/proc/self/clear_refs").write_text("5")  # reset the peak resident size
    compile_s = []
    for _ in range(3):
        start = time.perf_counter()
        compiled = meshweave.compile_exchange(card, description)
        compile_s.append(time.perf_counter() - start)
        del compiled
    print(json.dumps({"load_s": load_s, "convert_s": convert_s, "compile_s": min(compile_s),
                      "peak_kib": status_kib("VmHWM")}))


def all_to_all(build, all_to_all_bench):
    with tempfile.TemporaryDirectory() as scratch:
        path = pathlib.Path(scratch) / "a2a.json"
        with open(path, "w") as out:
            subprocess.run([sys.executable, str(SOURCE / "bench/generators/all_to_all.py")],
                           stdout=out, check=True)
        env = dict(os.environ, PYTHONPATH=str(build / "python"))
        child = subprocess.run([sys.executable, __file__, "--child", str(path)], env=env,
                               capture_output=True, text=True, check=True)
        python = json.loads(child.stdout)
    report, cpp_peak_kib = run_cpp(all_to_all_bench)
    cpp_s = report["benchmarks"][0]["real_time"] / 1000.0
    print(f"all-to-all: json.load {python['load_s']:.2f} s, dict conversion "
          f"{python['convert_s']:.2f} s, compile from Python {python['compile_s']:.2f} s "
          f"against C++ {cpp_s:.2f} s ({python['compile_s'] / cpp_s:.2f}x); peak memory "
          f"Python {python['peak_kib'] / 1024:.0f} MiB against C++ {cpp_peak_kib / 1024:.0f} MiB "
          f"({python['peak_kib'] / cpp_peak_kib:.2f}x)")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", type=pathlib.Path, default=SOURCE / "build/release")
    parser.add_argument("--skip-all-to-all", action="store_true")
    parser.add_argument("--child", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.child:
        all_to_all_child(args.child)
        return
    sys.path.insert(0, str(args.build / "python"))
    import meshweave
    per_call(meshweave, args.build / "bench/meshweave_plans_bench")
    if not args.skip_all_to_all:
        all_to_all(args.build, args.build / "bench/meshweave_all_to_all_bench")


if __name__ == "__main__":
    main()
