#!/usr/bin/env python3
"""make bench: times the greedy run, the statistic generator, vorlank-check and vorlank-design.

Prints one table: instance, covers, wall seconds (median of several runs),
peak memory, and for instances small enough the literal/fast ratio measured
side by side in this run.
"""
import argparse
import os
import re
import statistics
import subprocess
import time

GREEDY = [  # n, k, x, t, runs, with the literal algorithm beside it
    (49, 6, 6, 3, 3, False),
    (49, 6, 6, 2, 3, False),
    (45, 6, 6, 3, 3, False),
    (22, 10, 10, 6, 3, False),
    (20, 5, 5, 4, 3, True),
]


def greedy(bin_dir, n, k, x, t, literal=False):
    cmd = [os.path.join(bin_dir, "bench", "greedy_bench"), str(n), str(k), str(x), str(t)]
    if literal:
        cmd.append("literal")
    err = subprocess.run(cmd, capture_output=True, text=True, check=True).stderr
    covers, seconds, peak = err.split()
    return int(covers), float(seconds), float(peak)


DESIGN = [  # n, k, x, t, seconds given to vorlank-design
    (49, 6, 6, 2, 10),
    (49, 6, 6, 3, 20),
    (49, 6, 6, 3, 120),
    (22, 3, 6, 3, 10),
    (27, 4, 6, 3, 60),
    (10, 2, 6, 2, 1),
]


def design(bin_dir):
    """vorlank-design on the targets: its wheel against the greedy run's, proved by vorlank-check."""
    print(f"{'instance':<16} {'covers':>6} {'lower bound':>11} {'greedy covers':>13} "
          f"{'seconds':>7} {'wall s':>7}")
    greedy_covers = {}
    for n, k, x, t, secs in DESIGN:
        if (n, k, x, t) not in greedy_covers:
            greedy_covers[(n, k, x, t)] = greedy(bin_dir, n, k, x, t)[0]
        start = time.monotonic()
        out = subprocess.run([os.path.join(bin_dir, "vorlank-design"), "--seconds", str(secs),
                              str(n), str(k), str(x), str(t)], capture_output=True, text=True,
                             check=True).stdout
        wall = time.monotonic() - start
        head = re.match(r"# L\(.*\): (\d+) covers?, lower bound (\d+)", out)
        check = subprocess.run([os.path.join(bin_dir, "vorlank-check"), str(n), str(k), str(x),
                                str(t)], input=out, capture_output=True, text=True)
        assert check.returncode == 0, check.stdout
        name = f"L({n},{k},{x},{t})"
        print(f"{name:<16} {head[1]:>6} {head[2]:>11} {greedy_covers[(n, k, x, t)]:>13} "
              f"{secs:>7} {wall:>7.1f}", flush=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin-dir", required=True)
    ap.add_argument("--design-only", action="store_true", help="only the vorlank-design table")
    a = ap.parse_args()
    if a.design_only:
        return design(a.bin_dir)
    print(f"{'instance':<16} {'covers':>6} {'seconds':>8} {'peak MB':>8} {'literal/fast':>13}")
    for n, k, x, t, runs, side in GREEDY:
        results = [greedy(a.bin_dir, n, k, x, t) for _ in range(runs)]
        covers = results[0][0]
        seconds = statistics.median(r[1] for r in results)
        peak = max(r[2] for r in results)
        ratio = ""
        if side:
            lit_covers, lit_seconds, _ = greedy(a.bin_dir, n, k, x, t, literal=True)
            assert lit_covers == covers
            ratio = f"{lit_seconds / seconds:.0f}x ({lit_seconds:.1f} s)"
        print(f"L({n},{k},{x},{t}){'':<{16 - len(f'L({n},{k},{x},{t})')}} {covers:>6} "
              f"{seconds:>8.2f} {peak:>8.0f} {ratio:>13}", flush=True)

    sample = os.path.join(a.bin_dir, "bench", "sample_bench")
    if os.path.exists(sample):
        print("\nstatistic generator, L(49,6,6,3):")
        print(subprocess.run([sample], capture_output=True, text=True, check=True).stdout, end="")

    check = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_bench.sh")
    if os.path.exists(check) and os.path.exists(os.path.join(a.bin_dir, "vorlank-check")):
        print("\nvorlank-check, median CPU seconds (peak memory):")
        print(subprocess.run(["bash", check, a.bin_dir], capture_output=True, text=True,
                             check=True).stdout, end="")

    if os.path.exists(os.path.join(a.bin_dir, "vorlank-design")):
        print("\nvorlank-design (greedy covers: the greedy run's):")
        design(a.bin_dir)


if __name__ == "__main__":
    main()
