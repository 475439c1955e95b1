#!/usr/bin/env python3
"""The Python module against C++ on the wall clock, in one run.

    PYTHONPATH=build python3 bench/python_bench.py [build]

1. read_many of the twelve outputs over the simulated USB card with its full-speed bus time,
   one register at a time and pipelined, against the same reads from C++
   (python_read_many_bench, through the same session). Goal: Python at least 90 % of C++'s
   reads per second.
2. log of 1 M samples of all twelve channels into memory: the peak memory the call takes,
   against the size of the array it returns. Goal: at most twice the array.
"""

import json
import os
import subprocess
import sys
import time
import tracemalloc

import vexa

BUILD = sys.argv[1] if len(sys.argv) > 1 else "build"
OUTPUTS = ["SUPPLY_OUT", "XGYRO_OUT", "YGYRO_OUT", "ZGYRO_OUT", "XACCL_OUT", "YACCL_OUT",
           "ZACCL_OUT", "XMAGN_OUT", "YMAGN_OUT", "ZMAGN_OUT", "TEMP_OUT", "AUX_ADC"]
SECONDS = 3.0


def cpp_seconds_per_pass():
    out = subprocess.run([os.path.join(BUILD, "python_read_many_bench"),
                          "--benchmark_format=json", f"--benchmark_min_time={SECONDS}"],
                         check=True, capture_output=True, text=True).stdout
    times = {}
    for b in json.loads(out)["benchmarks"]:
        pipelined = b["name"].endswith("/1/real_time")
        times[pipelined] = b["real_time"] / 1000.0  # ms per pass
    return times


def python_seconds_per_pass(pipelined):
    with vexa.open(interface="usb", simulate=True) as s:
        s.read_many(OUTPUTS, pipelined=pipelined)  # warm up
        passes = 0
        start = time.perf_counter()
        while time.perf_counter() - start < SECONDS:
            s.read_many(OUTPUTS, pipelined=pipelined)
            passes += 1
        return (time.perf_counter() - start) / passes


def peak_rss_kib():
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def reset_peak_rss():
    with open("/proc/self/clear_refs", "w") as f:
        f.write("5")


def log_memory():
    with vexa.open(interface="spidev", simulate=True, virtual_time=True) as s:
        s.log("all", 1000)  # the first call's own allocations out of the way
        reset_peak_rss()
        rss_before = peak_rss_kib()
        tracemalloc.start()
        start = time.perf_counter()
        record = s.log("all", 1_000_000, pipelined=True)
        seconds = time.perf_counter() - start
        _, traced_peak = tracemalloc.get_traced_memory()
        tracemalloc.stop()
        rss_peak = (peak_rss_kib() - rss_before) * 1024
    return record.nbytes, traced_peak, rss_peak, seconds, len(record)


def main():
    cpp = cpp_seconds_per_pass()
    print("| figure | C++ | Python | ratio (Python/C++ reads per s) | goal |")
    print("|---|---|---|---|---|")
    for pipelined in (False, True):
        py = python_seconds_per_pass(pipelined)
        name = "read_many, 12 outputs, " + ("pipelined" if pipelined else "one at a time")
        print(f"| {name} | {cpp[pipelined] * 1e3:.2f} ms | {py * 1e3:.2f} ms | "
              f"{cpp[pipelined] / py:.3f} | >= 0.90 |")
    nbytes, traced, rss, seconds, rows = log_memory()
    print(f"| log 1 M samples x 12 channels: array {nbytes / 2**20:.1f} MiB, {seconds:.1f} s | "
          f"peak traced {traced / 2**20:.1f} MiB | peak RSS rise {rss / 2**20:.1f} MiB | "
          f"{max(traced, rss) / nbytes:.2f} x the array | <= 2.00 |")
    assert rows == 1_000_000


if __name__ == "__main__":
    main()
