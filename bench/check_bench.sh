#!/usr/bin/env bash
# Times vorlank-check on a wheel of L(49,6,6,3) and prints one line: the
# instance, the covers, the median seconds of several runs and the peak memory.
#
#   bench/check_bench.sh [--greedy] [BIN_DIR]    (BIN_DIR: default build)
#
# Without --greedy the wheel is 322 seeded random 6-sets of 1..49, as many as
# vorlank's greedy wheel has; with --greedy it is vorlank's own greedy run.
set -euo pipefail

source=synthetic
if [ "${1:-}" = "--greedy" ]; then
  source=greedy
  shift
fi
bin_dir=${1:-build}
runs=${RUNS:-5}
check="$bin_dir/vorlank-check"
[ -x "$check" ] || { echo "no $check; build it first" >&2; exit 2; }

wheel=$(mktemp)
trap 'rm -f "$wheel"' EXIT
if [ "$source" = greedy ]; then
  printf '2\n' | "$bin_dir/vorlank" 49 6 6 3 >"$wheel"
else
  python3 -c '
import random
r = random.Random(49663)
for _ in range(322):
    print(" ".join(map(str, sorted(r.sample(range(1, 50), 6)))))' >"$wheel"
fi

python3 - "$check" "$wheel" "$runs" "$source" <<'EOF'
import os, resource, statistics, subprocess, sys, tempfile, time

check, wheel, runs, source = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
gnu_time = os.access("/usr/bin/time", os.X_OK)
seconds, peak = [], 0
for _ in range(runs):
    with tempfile.NamedTemporaryFile("r") as mem:
        cmd = [check, "49", "6", "6", "3", wheel]
        if gnu_time:
            cmd = ["/usr/bin/time", "-f", "%M", "-o", mem.name] + cmd
        start = time.perf_counter()
        p = subprocess.run(cmd, capture_output=True, text=True)
        seconds.append(time.perf_counter() - start)
        if p.returncode not in (0, 1):  # 1: the synthetic wheel has holes
            sys.exit(f"vorlank-check failed ({p.returncode}): {p.stderr.strip()}")
        covers = p.stdout.split("\n")[0].split()[-1]
        if gnu_time:
            peak = max(peak, int(mem.read().split()[-1]))
if not gnu_time:  # kilobytes on Linux, the largest of the runs
    peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
print(f"L(49,6,6,3) {source} covers={covers} median_s={statistics.median(seconds):.3f} "
      f"peak_kb={peak}")
EOF
