#!/usr/bin/env python3
"""vorlank-check against an independent count in python.

Greedy wheels of vorlank must check clean; a wheel missing one cover must
report exactly the k-sets that cover alone covered; the redundant covers,
the reduced wheel and the bounds must match the brute-force answers; and
random wheels (holes and all) must agree on every count.
"""
import argparse
import glob
import math
import os
import random
import re
import shlex
import subprocess
import sys
from itertools import combinations

CASES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "cases")
failures = []


def fail(what):
    failures.append(what)
    print("FAIL:", what)


def run(bin_dir, prog, args, stdin):
    p = subprocess.run([os.path.join(bin_dir, prog)] + [str(a) for a in args], input=stdin,
                       capture_output=True, timeout=120)
    return p.returncode, p.stdout.decode(), p.stderr.decode()


def transcript_covers(text):
    """(line number, numbers) of each cover line of a vorlank transcript."""
    out = []
    for i, line in enumerate(text.split("\n"), 1):
        m = re.search(r"\bcover_? +((?:\d+ +)+?) +-?\d+ sec$", line)
        if line.startswith("left:") and m:
            out.append((i, tuple(int(v) for v in m.group(1).split())))
    return out


def report(out):
    """The report as {key: (value, [indented lines])}, '# ' prefixes removed."""
    fields, key, wheel = {}, None, []
    for line in out.split("\n"):
        if line.startswith("# "):
            line = line[2:]
        elif line and line[0].isdigit():
            wheel.append(tuple(int(v) for v in line.split()))
            continue
        if line.startswith("  "):
            fields[key][1].append(line.strip())
        elif ": " in line:
            key, value = line.split(": ", 1)
            fields[key] = (value, [])
    return fields, wheel


class Oracle:
    def __init__(self, n, k, x, t, covers):
        self.n, self.k, self.x, self.t = n, k, x, t
        self.ksets = list(combinations(range(1, n + 1), k))
        self.covers = [set(c) for c in covers]
        self.hits = [[j for j, c in enumerate(self.covers) if len(c & set(s)) >= t]
                     for s in self.ksets]

    def holes(self, active=None):
        act = active if active is not None else set(range(len(self.covers)))
        return [s for s, h in zip(self.ksets, self.hits) if not act.intersection(h)]

    def redundant(self, active=None):
        act = active if active is not None else set(range(len(self.covers)))
        return [i for i in sorted(act)
                if all(len(act.intersection(h)) >= 2 for h in self.hits if i in h)]

    def reduce(self):
        act = set(range(len(self.covers)))
        for i in reversed(range(len(self.covers))):
            if i in self.redundant(act):
                act.discard(i)
        return act

    def bounds(self):
        n, k, x, t = self.n, self.k, self.x, self.t
        d = sum(math.comb(x, i) * math.comb(n - x, k - i) for i in range(t, min(x, k) + 1))
        counting = -(-math.comb(n, k) // d)
        if k != t:
            return counting, None
        b = 1
        for i in reversed(range(t)):
            b = -(-(n - i) * b // (x - i))
        return counting, b


def expect_report(name, out, status, o, lines, all_holes):
    """Compare a report with the oracle; lines[i] is the input line of cover i."""
    f, _ = report(out)
    holes, red = o.holes(), o.redundant()
    want_status = 0 if not holes else 1
    if status != want_status:
        fail(f"{name}: exit status {status}, expected {want_status}")
    if f.get("covers", ("",))[0] != str(len(o.covers)):
        fail(f"{name}: covers {f.get('covers')}, expected {len(o.covers)}")
    if not f.get("covered", ("",))[0].startswith("yes" if not holes else "no"):
        fail(f"{name}: covered {f.get('covered')}")
    got_holes = [tuple(int(v) for v in s.split()) for s in f["holes"][1]]
    if int(f["holes"][0].split()[0]) != len(holes) or got_holes != holes[:len(got_holes)] or \
            len(got_holes) != (len(holes) if all_holes else min(10, len(holes))):
        fail(f"{name}: holes {f['holes'][0]} {got_holes[:5]}..., expected {len(holes)} "
             f"{holes[:5]}...")
    want_red = [f"line {lines[i]}: " + " ".join(map(str, sorted(o.covers[i]))) for i in red]
    if f["redundant"][1] != want_red or (f["redundant"][0] == "none") != (not red):
        fail(f"{name}: redundant {f['redundant']}, expected {want_red}")
    counting, schoenheim = o.bounds()
    want = f"{counting} (counting)" + (f", {schoenheim} (Schoenheim)" if schoenheim else "")
    if f["lower bound"][0] != want:
        fail(f"{name}: lower bound {f['lower bound'][0]!r}, expected {want!r}")


GREEDY = [(7, 3, 3, 2), (6, 5, 2, 1), (8, 4, 4, 3), (9, 3, 3, 2), (10, 4, 4, 3), (8, 5, 3, 2),
          (9, 4, 5, 3), (10, 3, 4, 3), (9, 2, 3, 2), (10, 5, 4, 2)]


def greedy_wheels(bin_dir):
    for n, k, x, t in GREEDY:
        name = f"L({n},{k},{x},{t})"
        _, text, _ = run(bin_dir, "vorlank", [n, k, x, t], b"2\n")
        found = transcript_covers(text)
        covers = [c for _, c in found]
        o = Oracle(n, k, x, t, covers)
        status, out, err = run(bin_dir, "vorlank-check", [n, k, x, t], text.encode())
        expect_report(name, out, status, o, [i for i, _ in found], False)
        if status != 0 or err:
            fail(f"{name}: greedy wheel not clean: {status} {err!r}")

        # Without one cover: the holes are what that cover alone covered.
        lines = text.split("\n")
        for drop in {0, len(found) // 2, len(found) - 1}:
            cut = "\n".join(l for i, l in enumerate(lines, 1) if i != found[drop][0])
            alone = [s for s, h in zip(o.ksets, o.hits) if h == [drop]]
            status, out, _ = run(bin_dir, "vorlank-check", [n, k, x, t, "--holes"], cut.encode())
            got = [tuple(int(v) for v in s.split()) for s in report(out)[0]["holes"][1]]
            if status != (1 if alone else 0) or got != alone:
                fail(f"{name} without cover {drop + 1}: status {status}, holes {got}, "
                     f"expected {alone}")

        # --reduce: the oracle's reduction, and it reads back clean.
        status, out, _ = run(bin_dir, "vorlank-check", ["--reduce", n, k, x, t], text.encode())
        _, reduced = report(out)
        want = [tuple(sorted(o.covers[i])) for i in sorted(o.reduce())]
        if status != 0 or reduced != want:
            fail(f"{name} --reduce: status {status}, {reduced}, expected {want}")
        status, out, _ = run(bin_dir, "vorlank-check", [n, k, x, t], out.encode())
        f, _ = report(out)
        if status != 0 or f["covers"][0] != str(len(want)) or f["redundant"][0] != "none":
            fail(f"{name} reduced wheel read back: status {status}, {f}")


def random_wheels(bin_dir):
    rng = random.Random(2024)
    for trial in range(40):
        n = rng.randint(3, 9)
        k, x = rng.randint(1, n - 1), rng.randint(1, n - 1)
        t = rng.randint(0, min(k, x))
        covers = [tuple(sorted(rng.sample(range(1, n + 1), x)))
                  for _ in range(rng.randint(0, 12))]
        if covers and rng.random() < 0.3:
            covers.append(rng.choice(covers))  # a duplicate is redundant with its twin
        text = "# random wheel\n" + "".join(", ".join(map(str, c)) + "\n" for c in covers)
        o = Oracle(n, k, x, t, covers)
        all_holes = trial % 2 == 0
        args = [n, k, x, t] + (["--holes"] if all_holes else [])
        status, out, err = run(bin_dir, "vorlank-check", args, text.encode())
        expect_report(f"random {trial} L({n},{k},{x},{t})", out, status, o,
                      list(range(2, len(covers) + 2)), all_holes)


def suite_transcripts(bin_dir):
    """The greedy transcripts among the transcript cases check clean."""
    for args in sorted(glob.glob(os.path.join(CASES, "greedy_*.args"))):
        base = args[:-5]
        words = shlex.split(open(args).read())
        if words[0] != "vorlank" or not os.path.exists(base + ".out"):
            continue
        text = open(base + ".out", "rb").read().replace(b"<sec>", b"0")
        m = re.search(rb"\*\* (\d+) \*\* needed", text)
        if not m:
            continue  # a refused or unfinished run holds no wheel
        status, out, err = run(bin_dir, "vorlank-check", words[1:5], text)
        f, _ = report(out)
        if status != 0 or f.get("covers", ("",))[0] != m.group(1).decode():
            fail(f"{os.path.basename(base)}: status {status}, {out!r} {err!r}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin-dir", required=True)
    bin_dir = ap.parse_args().bin_dir
    greedy_wheels(bin_dir)
    random_wheels(bin_dir)
    suite_transcripts(bin_dir)
    print(f"{len(failures)} failures")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
