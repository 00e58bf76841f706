#!/usr/bin/env python3
"""Update-package entries against gzip -9 and xz -6 over the same files in one run.

Usage: package_benchmark.py TIMER FILE... (TIMER is the built package_decode_timer).
For every file: packed size and decode speed (MB/s of output) of a package entry, of
gzip -9 and of xz -6 (their decoders timed as `gzip -dc` / `xz -dc` into /dev/null, best
of five, which includes starting the process), and the ratios between them.
"""
import os
import subprocess
import sys
import tempfile
import time


def best_time(command, stdin_path, rounds=5):
    best = None
    for _ in range(rounds):
        with open(stdin_path, "rb") as data, open(os.devnull, "wb") as sink:
            start = time.perf_counter()
            subprocess.run(command, stdin=data, stdout=sink, check=True)
            elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    return best


def main():
    timer, files = sys.argv[1], sys.argv[2:]
    lines = subprocess.run([timer] + files, stdout=subprocess.PIPE, check=True, text=True).stdout.splitlines()
    print(f"{'file':<28}{'size':>10}{'pak':>10}{'gzip -9':>10}{'xz -6':>10}"
          f"{'pak MB/s':>10}{'gzip MB/s':>11}{'xz MB/s':>9}  pak/gzip size")
    totals = [0, 0, 0, 0]
    with tempfile.TemporaryDirectory() as scratch:
        for line in lines:
            name, size, packed, pak_speed, _ = line.rsplit(" ", 4)
            size, packed, pak_speed = int(size), int(packed), float(pak_speed)
            sizes, speeds = {}, {}
            for tool, level in (("gzip", "-9"), ("xz", "-6")):
                out = os.path.join(scratch, tool)
                with open(name, "rb") as data, open(out, "wb") as sink:
                    subprocess.run([tool, level, "-c"], stdin=data, stdout=sink, check=True)
                sizes[tool] = os.path.getsize(out)
                speeds[tool] = size / best_time([tool, "-dc"], out) / 1e6
            totals = [totals[0] + size, totals[1] + packed, totals[2] + sizes["gzip"], totals[3] + sizes["xz"]]
            print(f"{os.path.basename(name):<28}{size:>10}{packed:>10}{sizes['gzip']:>10}{sizes['xz']:>10}"
                  f"{pak_speed:>10.1f}{speeds['gzip']:>11.1f}{speeds['xz']:>9.1f}  {packed / sizes['gzip']:.3f}")
    print(f"{'total':<28}{totals[0]:>10}{totals[1]:>10}{totals[2]:>10}{totals[3]:>10}"
          f"{'':>30}  {totals[1] / totals[2]:.3f}")


if __name__ == "__main__":
    main()
