#!/usr/bin/env python3
"""make bench: times the greedy run, the statistic generator, vorlank-check and vorlank-design.

Prints one table: instance, scan kernel, covers, wall and CPU seconds with
one and with two scan threads (medians of several runs, the kernels and
thread counts taking turns), peak memory, and for instances small enough
the literal/fast ratio measured side by side in this run; then the CPU
profile's top entries for L(49,6,6,3) with each kernel, two threads.
"""
import argparse
import math
import os
import re
import shutil
import statistics
import subprocess
import tempfile
import time

GREEDY = [  # n, k, x, t, runs, with the literal algorithm beside it
    (49, 6, 6, 3, 3, False),
    (49, 6, 6, 2, 3, False),
    (45, 6, 6, 3, 3, False),
    (22, 10, 10, 6, 3, False),
    (20, 5, 5, 4, 3, True),
]
PROFILED = (49, 6, 6, 3)  # the instance whose CPU profile is shown
THREADS = (1, 2)


def kernels(bin_dir):
    """The scan kernels this processor runs."""
    cmd = [os.path.join(bin_dir, "bench", "greedy_bench"), "kernels"]
    return subprocess.run(cmd, capture_output=True, text=True, check=True).stdout.split()


def greedy(bin_dir, n, k, x, t, literal=False, threads=None, kernel=None):
    cmd = [os.path.join(bin_dir, "bench", "greedy_bench"), str(n), str(k), str(x), str(t)]
    if literal:
        cmd.append("literal")
    env = dict(os.environ)
    if threads:
        env["VORLANK_THREADS"] = str(threads)
    if kernel:
        env["VORLANK_KERNEL"] = kernel
    err = subprocess.run(cmd, capture_output=True, text=True, check=True, env=env).stderr
    covers, seconds, cpu, peak = err.split()
    return int(covers), float(seconds), float(cpu), float(peak)


def profile(bin_dir, n, k, x, t, top=10, kernel=None):
    """The functions that took the most CPU time in one run (perf), or why not."""
    if not shutil.which("perf"):
        return "  (perf not found)\n"
    env = dict(os.environ, VORLANK_THREADS="2")
    if kernel:
        env["VORLANK_KERNEL"] = kernel
    with tempfile.TemporaryDirectory() as tmp:
        data = os.path.join(tmp, "perf.data")
        cmd = [os.path.join(bin_dir, "bench", "greedy_bench"), str(n), str(k), str(x), str(t)]
        # cpu-clock: virtual machines often have no cycle counter.
        rec = subprocess.run(["perf", "record", "-q", "-e", "cpu-clock", "-o", data, "--"] + cmd,
                             capture_output=True, text=True, env=env)
        if rec.returncode != 0:
            return "  (perf record failed: " + rec.stderr.strip().splitlines()[-1] + ")\n"
        rep = subprocess.run(["perf", "report", "-i", data, "--stdio", "--no-children",
                              "--sort", "symbol"], capture_output=True, text=True).stdout
    lines = [re.sub(r"(\s+-)+\s*$", "", ln.strip()) for ln in rep.splitlines()
             if ln.strip() and not ln.startswith("#")]
    return "".join(f"  {ln}\n" for ln in lines[:top])


DESIGN = [  # n, k, x, t, seconds given to vorlank-design, best known (0: none listed)
    (12, 5, 6, 5, 5, 132),
    (26, 3, 6, 3, 5, 130),
    (25, 2, 4, 2, 10, 50),
    (28, 2, 4, 2, 10, 63),
    (18, 6, 6, 4, 30, 42),
    (27, 4, 6, 3, 60, 86),
    (49, 6, 6, 3, 60, 163),
    (49, 6, 6, 2, 10, 19),
    (22, 3, 6, 3, 10, 77),
    (7, 3, 4, 3, 5, 12),
    (10, 2, 6, 2, 1, 4),
    (49, 2, 7, 2, 60, 56),
    (57, 2, 8, 2, 60, 57),
    (48, 2, 7, 2, 10, 0),
    (56, 2, 8, 2, 10, 0),
    (36, 2, 6, 2, 60, 47),
    (13, 3, 4, 3, 60, 78),
    (69, 5, 5, 2, 60, 0),
    (70, 5, 5, 2, 60, 0),
    (90, 5, 5, 2, 60, 100),
]


PLAYERS = [  # the players' formats: n, k, x, t, what a player calls it, best published (0: none)
    (49, 6, 6, 3, "6/49, 3 if 6", 163),
    (59, 6, 6, 3, "6/59, 3 if 6", 0),
    (45, 6, 6, 3, "6/45, 3 if 6", 0),
    (90, 6, 6, 3, "6/90, 3 if 6", 0),
    (30, 6, 6, 4, "30 picks, 4 if 6", 0),
    (20, 6, 6, 4, "20 picks, 4 if 6", 0),
    (25, 5, 5, 3, "25 picks, 3 if 5", 0),
    (35, 5, 5, 3, "5/35, 3 if 5", 0),
    (50, 5, 5, 2, "5/50, 2 if 5", 0),
    (69, 5, 5, 2, "5/69, 2 if 5", 0),
    (37, 4, 6, 3, "37 numbers, 3 if 4", 0),
    (33, 4, 6, 3, "33 numbers, 3 if 4", 0),
    (27, 4, 6, 3, "27 numbers, 3 if 4", 86),
]
PLAYERS_SECONDS = 60


def how_built(out):
    """The method and group of the wheel's largest part, from its # lines."""
    best = (0, "", "")
    for line in out.splitlines():
        m = re.search(r"L\((\d+),.*?: (.*)$", line) if line.startswith("#") else None
        if not m or "covers" in m[2].split(",")[0]:
            continue
        steps = m[2]
        method = re.sub(r" \d+.*", "", steps.split(", local search")[0].split(" (")[0])
        group = re.search(r"\(([^:()]*(?:\([^)]*\))?[^:()]*)[:)]", steps)
        size = int(m[1])
        if method == "symmetric":
            method += ", exact" if "exact solve" in steps else ", annealing"
        if group:
            group = re.sub(r", (exact solve|annealing).*", "", group[1])
        if size > best[0]:
            best = (size, method, group if method.startswith("symmetric") and group else "")
    return best[1], best[2]


def design_run(bin_dir, n, k, x, t, secs, seed):
    """One run from scratch (no store): its size, wall seconds and how it was built, proved by
    vorlank-check."""
    start = time.monotonic()
    out = subprocess.run([os.path.join(bin_dir, "vorlank-design"), "--no-store", "--seconds",
                          str(secs), "--seed", str(seed), str(n), str(k), str(x), str(t)],
                         capture_output=True, text=True, check=True).stdout
    wall = time.monotonic() - start
    check = subprocess.run([os.path.join(bin_dir, "vorlank-check"), str(n), str(k), str(x),
                            str(t)], input=out, capture_output=True, text=True)
    assert check.returncode == 0, check.stdout
    method, group = how_built(out)
    if "# optimal:" in out:
        method += ", optimal"
    m = re.match(r"# L\(.*\): (\d+) covers?, lower bound (\d+)", out)
    return int(m[1]), wall, method + (", " + group if group else ""), int(m[2])


def design(bin_dir, seeds, only=None):
    """vorlank-design on the targets, seeds 1..seeds: the wheels against the best known, the
    median, and how the median run built its wheel."""
    head = "".join(f" {'seed ' + str(i):>7}" for i in range(1, seeds + 1))
    print(f"{'instance':<14}{head} {'median':>6} {'best known':>10} {'greedy':>6} {'seconds':>7} "
          f"{'wall s':>6}  method, group (median run)")
    greedy_covers = {}
    for n, k, x, t, secs, known in DESIGN:
        if only and f"{n},{k},{x},{t}" not in only:
            continue
        if (n, k, x, t) not in greedy_covers:
            # The greedy run only where its table of x-sets is of a size it takes in seconds.
            greedy_covers[(n, k, x, t)] = greedy(bin_dir, n, k, x, t)[0] \
                if math.comb(n, x) <= 1 << 26 else "-"
        runs = [design_run(bin_dir, n, k, x, t, secs, seed) for seed in range(1, seeds + 1)]
        median = sorted(runs)[(seeds - 1) // 2]
        sizes = "".join(f" {r[0]:>7}" for r in runs)
        name = f"L({n},{k},{x},{t})"
        print(f"{name:<14}{sizes} {median[0]:>6} {known or '':>10} "
              f"{greedy_covers[(n, k, x, t)]:>6} {secs:>7} {median[1]:>6.1f}  {median[2]}",
              flush=True)


def players(bin_dir, seeds, secs=PLAYERS_SECONDS, only=None):
    """vorlank-design on the players' formats, seeds 1..seeds at secs seconds each: the
    wheels, their median, the lower bound and the median's ratio to it."""
    head = "".join(f" {'seed ' + str(i):>7}" for i in range(1, seeds + 1))
    print(f"{'instance':<14} {'format':<20}{head} {'median':>6} {'bound':>5} {'ratio':>5} "
          f"{'published':>9} {'wall s':>6}  method, group (median run)")
    for n, k, x, t, name, known in PLAYERS:
        if only and f"{n},{k},{x},{t}" not in only:
            continue
        runs = [design_run(bin_dir, n, k, x, t, secs, seed) for seed in range(1, seeds + 1)]
        median = sorted(runs)[(seeds - 1) // 2]
        sizes = "".join(f" {r[0]:>7}" for r in runs)
        print(f"{f'L({n},{k},{x},{t})':<14} {name:<20}{sizes} {median[0]:>6} {median[3]:>5} "
              f"{median[0] / median[3]:>5.2f} {known or '-':>9} {median[1]:>6.1f}  {median[2]}",
              flush=True)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin-dir", required=True)
    ap.add_argument("--design-only", action="store_true", help="only the vorlank-design table")
    ap.add_argument("--seeds", type=int, default=3, help="vorlank-design runs per instance")
    ap.add_argument("--players-only", action="store_true", help="only the players' table")
    ap.add_argument("--seconds", type=float, default=PLAYERS_SECONDS,
                    help="with --players-only: seconds a run (default 60)")
    ap.add_argument("--only", action="append", metavar="N,K,X,T",
                    help="with --design-only or --players-only: only this instance (repeatable)")
    a = ap.parse_args()
    if a.design_only:
        return design(a.bin_dir, a.seeds, a.only)
    if a.players_only:
        return players(a.bin_dir, a.seeds, a.seconds, a.only)
    kinds = kernels(a.bin_dir)
    head = "".join(f" {f'{th} thr s':>9} {'cpu s':>6}" for th in THREADS)
    print(f"{'instance':<16} {'kernel':<7} {'covers':>6}{head} {'peak MB':>8} {'literal/fast':>13}")
    for n, k, x, t, runs, side in GREEDY:
        # Every kernel and thread count once per round, so that a busy spell
        # of the machine falls on all of them alike.
        results = {}
        for _ in range(runs):
            for kern in kinds:
                for th in THREADS:
                    results.setdefault((kern, th), []).append(
                        greedy(a.bin_dir, n, k, x, t, threads=th, kernel=kern))
        covers = {r[0] for rs in results.values() for r in rs}
        assert len(covers) == 1, covers
        covers = covers.pop()
        ratio, fast = "", min(statistics.median(r[1] for r in rs) for rs in results.values())
        if side:
            lit_covers, lit_seconds, _, _ = greedy(a.bin_dir, n, k, x, t, literal=True)
            assert lit_covers == covers
            ratio = f"{lit_seconds / fast:.0f}x ({lit_seconds:.1f} s)"
        name = f"L({n},{k},{x},{t})"
        for kern in kinds:
            cols, peak = "", 0.0
            for th in THREADS:
                rs = results[(kern, th)]
                cols += f" {statistics.median(r[1] for r in rs):>9.2f}"
                cols += f" {statistics.median(r[2] for r in rs):>6.2f}"
                peak = max(peak, max(r[3] for r in rs))
            print(f"{name:<16} {kern:<7} {covers:>6}{cols} {peak:>8.0f} {ratio:>13}", flush=True)
            name, ratio = "", ""
    print("(medians of the runs; seconds are wall time, cpu s user + system time)")

    name = "L(" + ",".join(map(str, PROFILED)) + ")"
    for kern in kinds:
        print(f"\nCPU profile of {name}, kernel {kern}, two threads (perf), top entries:")
        print(profile(a.bin_dir, *PROFILED, top=6, kernel=kern), end="", flush=True)

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
        design(a.bin_dir, a.seeds)
        print(f"\nvorlank-design on the players' formats, {PLAYERS_SECONDS} s a run:")
        players(a.bin_dir, a.seeds)


if __name__ == "__main__":
    main()
