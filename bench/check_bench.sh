#!/usr/bin/env bash
# Times vorlank-check: the plain check and --profile on vorlank's greedy wheel
# of L(49,6,6,3), and the plain check and --reduce on 10,000 seeded random
# covers of L(30,5,5,3). Prints one line per case: median CPU seconds of
# several runs (RUNS, default 5; A and B alternate, so load hits both alike),
# their ratio and the peak memory.
#
#   bench/check_bench.sh [BIN_DIR]    (BIN_DIR: default build)
set -euo pipefail

bin_dir=${1:-build}
check="$bin_dir/vorlank-check"
[ -x "$check" ] || { echo "no $check; build it first" >&2; exit 2; }

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
printf '2\n' | "$bin_dir/vorlank" 49 6 6 3 >"$dir/greedy49"
python3 -c '
import random
r = random.Random(30553)
for _ in range(10000):
    print(" ".join(map(str, sorted(r.sample(range(1, 31), 5)))))' >"$dir/random30"

python3 - "$check" "$dir" "${RUNS:-5}" <<'EOF'
import os, statistics, subprocess, sys

check, dir, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])


def once(args):
    """CPU seconds and peak kB of one run."""
    pid = os.fork()
    if pid == 0:
        fd = os.open(os.devnull, os.O_WRONLY)
        os.dup2(fd, 1)
        os.execv(check, [check] + args)
    _, status, use = os.wait4(pid, 0)
    if os.waitstatus_to_exitcode(status) not in (0, 1):
        sys.exit(f"vorlank-check {' '.join(args)} failed")
    return use.ru_utime + use.ru_stime, use.ru_maxrss


def ab(name, a, b, option, params, wheel):
    times = {a: [], b: []}
    peak = {a: 0, b: 0}
    for _ in range(runs):
        for label, extra in ((a, []), (b, [option])):
            s, kb = once(extra + params + [os.path.join(dir, wheel)])
            times[label].append(s)
            peak[label] = max(peak[label], kb)
    ta, tb = statistics.median(times[a]), statistics.median(times[b])
    print(f"vorlank-check {name}: {a} {ta:.2f} s ({peak[a] / 1024:.0f} MB), {b} {tb:.2f} s "
          f"({peak[b] / 1024:.0f} MB), {b}/{a} {tb / ta:.1f}x", flush=True)


ab("L(49,6,6,3) greedy wheel (322 covers)", "check", "--profile", "--profile",
   ["49", "6", "6", "3"], "greedy49")
ab("L(30,5,5,3) 10000 random covers", "check", "--reduce", "--reduce",
   ["30", "5", "5", "3"], "random30")
EOF
