#!/usr/bin/env python3
"""make bench: times the greedy run, the statistic generator and vorlank-check.

Prints one table: instance, covers, wall seconds (median of several runs),
peak memory, and for instances small enough the literal/fast ratio measured
side by side in this run.
"""
import argparse
import os
import statistics
import subprocess

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


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin-dir", required=True)
    a = ap.parse_args()
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


if __name__ == "__main__":
    main()
