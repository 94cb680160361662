#!/usr/bin/env python3
"""One store shared by many vorlank-design runs, and its listing.

--list: the table and the CSV of a store with wheels, damaged files and
files that are no wheels, byte for byte (the files' times set); its usage
errors are transcripts (design_list_*). The lock: a run waits for a record
lock that another process holds on the store's .lock (as a run on another
machine over NFS would), and one killed while it waits leaves nothing. Eight
runs at once on two instances, some killed with SIGKILL midway, two rounds:
every file of the store proves and is no larger than the smallest wheel a
surviving run printed. The recipes: docs/vorlank-design.md's GNU parallel
line on two small instances (skipped where parallel is missing) and
examples/slurm-design.sh as one task of an array.
"""
import calendar
import fcntl
import math
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time

import common
from common import expect, main, size

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


def env_with(**values):
    return common.env_with(HOME="/dev/null/vorlank-tests", **values)


def design(bin_dir, args, env=None):
    return common.run(bin_dir, "vorlank-design", args, env=env or env_with())


def least(text, inst):
    """The fewest covers of the wheels of inst among several printed."""
    m = re.findall(r"^# L\(%s\): (\d+) covers?," % ",".join(map(str, inst)), text, re.M)
    return min(map(int, m)) if m else None


def proves(bin_dir, path):
    """vorlank-check's verdict on a stored wheel (its instance from the name)."""
    inst = re.fullmatch(r"L(\d+)-(\d+)-(\d+)-(\d+)\.txt", os.path.basename(path)).groups()
    return common.proves(bin_dir, inst, open(path).read())


def wheel(inst, covers, how):
    n, k, x, t = inst
    bound = {(6, 2, 3, 2): 6, (7, 2, 3, 2): 7, (7, 3, 4, 3): 11, (9, 2, 3, 2): 12}[tuple(inst)]
    return (f"# L({n},{k},{x},{t}): {len(covers)} covers, lower bound {bound}\n" +
            "".join(f"# {h}\n" for h in how) +
            f"# proved: every {k}-set of 1..{n} shares at least {t} numbers with a cover\n" +
            "".join(" ".join(map(str, c)) + "\n" for c in covers))


FANO = [(1, 2, 3), (1, 4, 5), (1, 6, 7), (2, 4, 6), (2, 5, 7), (3, 4, 7), (3, 5, 6)]
AG23 = [(1, 2, 3), (4, 5, 6), (7, 8, 9), (1, 4, 7), (2, 5, 8), (3, 6, 9), (1, 5, 9), (2, 6, 7),
        (3, 4, 8), (1, 6, 8), (2, 4, 9), (3, 5, 7)]
L7343 = [(1, 2, 3, 4), (1, 2, 3, 5), (1, 2, 3, 6), (1, 2, 3, 7), (1, 2, 5, 6), (1, 3, 4, 7),
         (1, 4, 5, 7), (1, 4, 6, 7), (2, 4, 5, 7), (2, 4, 6, 7), (3, 4, 5, 6), (3, 5, 6, 7)]
L6232 = [(1, 2, 3), (1, 2, 4), (1, 2, 5), (1, 2, 6), (1, 3, 6), (3, 4, 5), (4, 5, 6)]

TABLE = """\
instance        covers  bound  ratio  optimal  stored                built
L(6,2,3,2)           7      6  1.167  unknown  2026-12-07T13:45:00Z  -
L(7,2,3,2)           7      7  1.000  yes      2026-12-07T13:45:00Z  by hand, the "Fano plane"
L(7,3,4,3)          12     11  1.091  unknown  2026-12-07T13:45:00Z  L(7,3,4,3): greedy 14, local search 12
L(8,2,3,2)           -     11      -  -        2026-12-07T13:45:00Z  not a wheel: not a regular file
L(9,2,3,2)           -     12      -  -        2026-12-07T13:45:00Z  not a wheel: 3 of the 36 k-sets are not covered
L(10,2,6,2)          -      4      -  -        2026-12-07T13:45:00Z  not a wheel: its first line is not "# L(10,2,6,2): N covers, ..."
L(65,2,3,2)          -    694      -  -        2026-12-07T13:45:00Z  not a wheel: its first line is not "# L(65,2,3,2): N covers, ..."
L(300,1,150,1)       -      -      -  -        2026-12-07T13:45:00Z  not a wheel: the search takes n up to 255 (here n = 300)
"""
CSV = '''\
instance,covers,bound,ratio,optimal,stored,built
"L(6,2,3,2)",7,6,1.167,unknown,2026-12-07T13:45:00Z,-
"L(7,2,3,2)",7,7,1.000,yes,2026-12-07T13:45:00Z,"by hand, the ""Fano plane"""
"L(7,3,4,3)",12,11,1.091,unknown,2026-12-07T13:45:00Z,"L(7,3,4,3): greedy 14, local search 12"
"L(8,2,3,2)",-,11,-,-,2026-12-07T13:45:00Z,not a wheel: not a regular file
"L(9,2,3,2)",-,12,-,-,2026-12-07T13:45:00Z,not a wheel: 3 of the 36 k-sets are not covered
"L(10,2,6,2)",-,4,-,-,2026-12-07T13:45:00Z,"not a wheel: its first line is not ""# L(10,2,6,2): N covers, ..."""
"L(65,2,3,2)",-,694,-,-,2026-12-07T13:45:00Z,"not a wheel: its first line is not ""# L(65,2,3,2): N covers, ..."""
"L(300,1,150,1)",-,-,-,-,2026-12-07T13:45:00Z,not a wheel: the search takes n up to 255 (here n = 300)
'''


def listing(bin_dir, tmp):
    store = os.path.join(tmp, "listed")
    os.mkdir(store)
    files = {
        "L6-2-3-2.txt": wheel((6, 2, 3, 2), L6232, []),
        "L7-2-3-2.txt": wheel((7, 2, 3, 2), FANO, ["from the store: 9 covers (/x/L7-2-3-2.txt)",
                                                   'by hand, the "Fano plane"']),
        # A comment proves nothing: 12 is above the bound of 11, so not listed optimal.
        "L7-3-4-3.txt": wheel((7, 3, 4, 3), L7343, [
            "L(7,3,4,3): greedy 14, local search 12",
            "optimal: the exact solve proved that no wheel has fewer covers"]),
        "L9-2-3-2.txt": wheel((9, 2, 3, 2), AG23[:-1], []),
        "L10-2-6-2.txt": "hello\n",
        "L65-2-3-2.txt": "",
        "L300-1-150-1.txt": "# L(300,1,150,1): 2 covers, lower bound 2\n1 2\n3 4\n",
        # Not named as wheels: skipped.
        ".lock": "", ".L7-2-3-2.txt.a1B2c3": "1 2\n", "L07-2-3-2.txt": "", "Lfoo.txt": "",
        "L7-2-3.txt": "", "notes.txt": "",
    }
    for name, text in files.items():
        with open(os.path.join(store, name), "w") as f:
            f.write(text)
    os.mkdir(os.path.join(store, "L8-2-3-2.txt"))
    stamp = calendar.timegm((2026, 12, 7, 13, 45, 0))
    for name in os.listdir(store):
        os.utime(os.path.join(store, name), (stamp, stamp))
    for flags, want in (([], TABLE), (["--csv"], CSV)):
        status, out, err = design(bin_dir, ["--list", "--store", store] + flags)
        expect(status == 0 and err == "" and out == want,
               f"--list {flags}: status {status}, stderr {err!r}, output\n{out}")
    # A wheel whose proof needs more memory than any machine has is listed so,
    # not proved and not dropped: C(255,6) k-sets.
    big = os.path.join(tmp, "big")
    os.mkdir(big)
    with open(os.path.join(big, "L255-6-7-2.txt"), "w") as f:
        f.write("# L(255,6,7,2): 1 cover, lower bound 1\n1 2 3 4 5 6 7\n")
    status, out, err = design(bin_dir, ["--list", "--store", big])
    expect(status == 0 and err == "" and
           re.search(r"\nL\(255,6,7,2\) .* too large to prove here: vorlank-design needs \d+ MB",
                     out), f"--list of a wheel too large to prove: {status} {err!r}\n{out}")


def lock_is_honoured(bin_dir, tmp):
    """A run that finds the store locked by another process waits for it."""
    store = os.path.join(tmp, "locked")
    os.mkdir(store)
    cmd = [os.path.join(bin_dir, "vorlank-design"), "--store", store, "10", "2", "6", "2"]
    with open(os.path.join(store, ".lock"), "w") as lock:
        fcntl.lockf(lock, fcntl.LOCK_EX)
        # L(10,2,6,2) ends at its lower bound at once: then both wait to store.
        killed = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, env=env_with())
        waits = subprocess.Popen(cmd, stdout=subprocess.PIPE, env=env_with())
        time.sleep(2)
        expect(killed.poll() is None and waits.poll() is None,
               "runs went on while another process held the store's lock")
        killed.send_signal(signal.SIGKILL)
        killed.wait()
        expect(os.listdir(store) == [".lock"], f"stored under a lock: {os.listdir(store)}")
        fcntl.lockf(lock, fcntl.LOCK_UN)
        out = waits.communicate(timeout=60)[0].decode()
    stored = os.path.join(store, "L10-2-6-2.txt")
    expect(waits.returncode == 0 and os.path.exists(stored) and open(stored).read() == out,
           f"after the lock: status {waits.returncode}, {sorted(os.listdir(store))}")


def eight_at_once(bin_dir, tmp):
    """Eight runs on two instances, three killed midway, two rounds."""
    store = os.path.join(tmp, "shared")
    insts = [(13, 5, 5, 4), (16, 4, 5, 3)]  # sizes vary with the seed
    best, printed = {}, {}
    for round_, kills in ((1, {3: 0.7, 6: 1.6, 7: 2.4}), (2, {2: 1.2, 5: 2.2, 8: 3.0})):
        start = time.monotonic()
        runs = {seed: subprocess.Popen(
            [os.path.join(bin_dir, "vorlank-design"), "--store", store, "--seconds", "2",
             "--seed", str(seed + 8 * (round_ - 1))] + [str(a) for a in insts[seed % 2]],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env_with())
            for seed in range(1, 9)}
        for seed, at in sorted(kills.items(), key=lambda kv: kv[1]):
            time.sleep(max(0, start + at - time.monotonic()))
            runs[seed].send_signal(signal.SIGKILL)
        for seed, p in runs.items():
            out, err = (s.decode() for s in p.communicate(timeout=60))
            if seed in kills:
                continue
            expect(p.returncode == 0 and err == "", f"round {round_} seed {seed}: "
                   f"status {p.returncode}, stderr {err!r}")
            inst = insts[seed % 2]
            best[inst] = min(best.get(inst, math.inf), size(out))
            printed[seed] = size(out)
        status, out, _ = design(bin_dir, ["--list", "--store", store])
        print(f"round {round_}: killed seeds {sorted(kills)}, the others printed (seed: covers) "
              f"{printed}; the store lists\n{out}", end="")
        printed.clear()
        for name in sorted(os.listdir(store)):
            if name.startswith("L"):
                path = os.path.join(store, name)
                expect(proves(bin_dir, path), f"round {round_}: {name} does not prove")
        for inst in insts:
            path = os.path.join(store, "L%d-%d-%d-%d.txt" % inst)
            got = size(open(path).read()) if os.path.exists(path) else None
            expect(got is not None and got <= best[inst],
                   f"round {round_}: {os.path.basename(path)} holds {got} covers, a run printed "
                   f"{best[inst]}")
        expect(status == 0 and "not a wheel" not in out, f"round {round_}: the list\n{out}")


def parallel_recipe(bin_dir, tmp):
    if not shutil.which("parallel"):
        print("SKIP: GNU parallel is not installed (make deps installs it): the docs' "
              "parallel line not run")
        return
    readme = open(os.path.join(ROOT, "docs", "vorlank-design.md")).read()
    m = re.search(r"^    (parallel .*\\\n(?:        .*\\\n)*        .*)$", readme, re.M)
    expect(m is not None, "docs/vorlank-design.md has no GNU parallel line")
    if not m:
        return
    store = os.path.join(tmp, "wheels")
    line = m.group(1).replace("~/wheels", store).replace("--seconds 600", "--seconds 1")
    line = line.replace("'49 6 6 3' '27 4 6 3'", "'14 4 5 3' '10 2 6 2'")
    line = line.replace("vorlank-design", os.path.join(bin_dir, "vorlank-design"))
    expect("'14 4 5 3'" in line and store in line, f"docs/vorlank-design.md's parallel line changed: {line}")
    p = subprocess.run(["bash", "-c", line], capture_output=True, timeout=120, env=env_with())
    out, err = p.stdout.decode(), p.stderr.decode()
    # 4 seeds times 2 instances; --bar draws on standard error.
    expect(p.returncode == 0 and out.count("# proved:") == 8 and
           not re.search(r"(^|\r)(Error|Warning)", err, re.M),
           f"the parallel line: status {p.returncode}, {out.count('# proved:')} wheels, "
           f"{err[-300:]!r}")
    for inst in ((14, 4, 5, 3), (10, 2, 6, 2)):
        path = os.path.join(store, "L%d-%d-%d-%d.txt" % inst)
        expect(os.path.exists(path) and proves(bin_dir, path) and
               size(open(path).read()) <= (least(out, inst) or 0),
               f"parallel: {path} against the runs' {least(out, inst)}")


def slurm_script(bin_dir, tmp):
    script = os.path.join(ROOT, "examples", "slurm-design.sh")
    p = subprocess.run(["bash", "-n", script], capture_output=True)
    expect(p.returncode == 0, f"bash -n {script}: {p.stderr.decode()!r}")
    text = open(script).read()
    # The time limit covers the run's: max(1.25 S, S + 1.5 s).
    h, m, s = map(int, re.search(r"^#SBATCH --time=(\d+):(\d+):(\d+)$", text, re.M).groups())
    secs = int(re.search(r"seconds=\$\{VORLANK_SECONDS:-(\d+)\}", text).group(1))
    expect(3600 * h + 60 * m + s >= max(1.25 * secs, secs + 1.5) + 30,
           f"#SBATCH --time {h}:{m}:{s} is too short for --seconds {secs}")
    store = os.path.join(tmp, "slurm")
    env = env_with(SLURM_ARRAY_TASK_ID="3", VORLANK_INSTANCE="10 2 6 2", VORLANK_SECONDS="1",
                   VORLANK_STORE=store,
                   VORLANK_DESIGN=os.path.join(bin_dir, "vorlank-design"))
    p = subprocess.run(["bash", script], capture_output=True, timeout=60, env=env)
    out = p.stdout.decode()
    stored = os.path.join(store, "L10-2-6-2.txt")
    expect(p.returncode == 0 and out.startswith("# L(10,2,6,2): 4 covers") and
           os.path.exists(stored) and open(stored).read() == out,
           f"the Slurm script: status {p.returncode}, {out!r} {p.stderr.decode()!r}")


def every_part(bin_dir):
    with tempfile.TemporaryDirectory() as tmp:
        for part in (listing, lock_is_honoured, eight_at_once, parallel_recipe, slurm_script):
            part(bin_dir, tmp)


if __name__ == "__main__":
    main(every_part)
