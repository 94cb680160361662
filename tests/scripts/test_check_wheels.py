#!/usr/bin/env python3
"""vorlank-check against an independent count in python.

Greedy wheels of vorlank must check clean, and without one cover report
exactly the k-sets that cover alone covered; redundant covers, the reduced
wheel, bounds, draws and profiles must match brute force on greedy and
random wheels; a report under --map is the plain report with its numbers
mapped, and the same wheel printed on the picks reads back with --on-picks.
An endless wheel, far more covers than the check counts or one endless
line, ends at its limit, within a bounded address space.
"""
import math
from fractions import Fraction
import os
import random
import re
import resource
import subprocess
import threading
from itertools import combinations

from common import expect, main, run


def report(out):
    """The report as {key: (value, [indented lines])} and the wheel lines after it."""
    fields, key, wheel = {}, None, []
    for line in out.split("\n"):
        line = line[2:] if line.startswith("# ") else line
        if line[:1].isdigit():
            wheel.append(tuple(int(v) for v in line.split()))
        elif line.startswith("  "):
            fields[key][1].append(line.strip())
        elif ": " in line:
            key, value = line.split(": ", 1)
            fields[key] = (value, [])
    return fields, wheel


def sets(lines):
    return [tuple(int(v) for v in s.split()) for s in lines]


class Oracle:
    def __init__(self, n, k, x, t, covers):
        self.n, self.k, self.x, self.t = n, k, x, t
        self.ksets = list(combinations(range(1, n + 1), k))
        self.covers = [set(c) for c in covers]
        self.hits = [[j for j, c in enumerate(self.covers) if len(c & set(s)) >= t]
                     for s in self.ksets]

    def holes(self, act):
        return [s for s, h in zip(self.ksets, self.hits) if not act.intersection(h)]

    def redundant(self, act):
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
        b = 1
        for i in reversed(range(t)):
            b = -(-(n - i) * b // (x - i))
        out = f"{-(-math.comb(n, k) // d)} (counting)" + (f", {b} (Schoenheim)" if k == t else "")
        if 0 < t < k:  # de Caen's Turan bound over the t-sets a cover holds
            turan = Fraction(math.comb(n, t) * (n - k + 1),
                             (n - t + 1) * math.comb(k - 1, t - 1) * math.comb(x, t))
            out += f", {math.ceil(turan)} (Turán)"
        if t == 2 < k:  # Caro-Wei: the least b whose evenest spread of x b memberships fits
            b = 1
            while sum(Fraction(1, (x * b // n + (v < x * b % n)) * (x - 1) + 1)
                      for v in range(n)) > k - 1:
                b += 1
            out += f", {b} (Caro-Wei)"
        return out

    def draw(self, draw, lines):
        """The draw's report lines, as vorlank-check prints them."""
        k, x, t = self.k, self.x, self.t
        meet = [len(c & set(draw)) for c in self.covers]
        out = [f"  line {lines[i]}: {' '.join(map(str, sorted(c)))} ({m} matched)"
               for i, (c, m) in enumerate(zip(self.covers, meet)) if m >= t]
        each = ", ".join(f"{m}: {meet.count(m)}" for m in range(t, min(k, x) + 1))
        hits = sum(m >= t for m in meet)
        out.append(f"draw result: best match {max(meet)}; {hits} cover{' matches' if hits == 1 else 's match'} "
                   f"{t} or more ({each})")
        return out

    def profile(self):
        best = [max(len(c & set(s)) for c in self.covers) for s in self.ksets]
        many = [len(h) for h in self.hits]
        return ([best.count(m) for m in range(min(self.k, self.x) + 1)],
                (min(many), round(sum(many) / len(many), 3), max(many), many.count(1)))


def expect_report(name, out, status, o, lines, all_holes):
    """Compare a report with the oracle; lines[i] is the input line of cover i."""
    f, _ = report(out)
    act = set(range(len(o.covers)))
    holes, red = o.holes(act), o.redundant(act)
    expect(status == (1 if holes else 0), f"{name}: exit status {status}")
    expect(f["covers"][0] == str(len(o.covers)), f"{name}: covers {f['covers']}")
    expect(f["covered"][0].startswith("no" if holes else "yes"), f"{name}: {f['covered']}")
    got = sets(f["holes"][1])
    expect(f["holes"][0].split()[0] == str(len(holes)) and got == holes[:len(got)] and
           len(got) == (len(holes) if all_holes else min(10, len(holes))),
           f"{name}: holes {f['holes'][0]} {got[:5]}..., expected {len(holes)} {holes[:5]}...")
    want = [f"line {lines[i]}: " + " ".join(map(str, sorted(o.covers[i]))) for i in red]
    expect(f["redundant"][1] == want, f"{name}: redundant {f['redundant']}, expected {want}")
    expect(f["lower bound"][0] == o.bounds(), f"{name}: lower bound {f['lower bound'][0]!r}")


def expect_profile(name, out, o):
    f, _ = report(out)
    (counts, (least, mean, most, ones)), all_ = o.profile(), math.comb(o.n, o.k)
    rows = [r.split() for r in f["profile"][1][1:]]
    got = [int(r[1]) for r in rows[:-1]]
    expect(got == counts and sum(got) == all_, f"{name}: profile {got}, expected {counts}")
    # The share at t or more is the coverage the report states.
    covered = all_ - int(f["holes"][0].split()[0])
    expect(rows[-1][:4] == [str(o.t), "or", "more", str(covered)], f"{name}: {rows[-1]}")
    want = (f"min {least}, mean {mean:.3f}, max {most}; met by exactly one: "
            f"{100 * ones / all_:.3f}% of the {o.k}-sets")
    expect(f[f"covers per {o.k}-set"][0] == want, f"{name}: {f[f'covers per {o.k}-set']}")


def mapped(out, n, picks):
    """A plain report with its numbers put on the picks, as --map prints it."""
    def put(m):
        return m.group(1) + " ".join(str(v) for v in sorted(picks[int(a) - 1]
                                                            for a in m.group(2).split()))
    out = out.replace(f"of 1..{n} ", f"of the {n} picks ")
    return "\n".join(re.sub(r"^((?:# )?(?:  )?(?:line \d+: )?)(\d+(?: \d+)*)$", put, line)
                     for line in out.split("\n"))


GREEDY = [(7, 3, 3, 2), (6, 5, 2, 1), (8, 4, 4, 3), (9, 3, 3, 2), (10, 4, 4, 3), (8, 5, 3, 2),
          (9, 4, 5, 3), (10, 3, 4, 3), (9, 2, 3, 2), (10, 5, 4, 2), (6, 3, 2, 0), (2, 1, 1, 1),
          (31, 30, 1, 1), (25, 3, 23, 3)]


def greedy_wheels(bin_dir):
    rng = random.Random(49)
    for n, k, x, t in GREEDY:
        name, params = f"L({n},{k},{x},{t})", [n, k, x, t]
        _, text, _ = run(bin_dir, "vorlank", params, b"2\n")
        lines = text.split("\n")
        found = [(i, tuple(int(v) for v in m.group(1).split())) for i, m in
                 ((i, re.search(r"\bcover_? +((?:\d+ +)+?) +-?\d+ sec$", s))
                  for i, s in enumerate(lines, 1)) if m]
        o = Oracle(n, k, x, t, [c for _, c in found])
        status, out, err = run(bin_dir, "vorlank-check", params + ["--profile"], text.encode())
        expect_report(name, out, status, o, [i for i, _ in found], False)
        expect_profile(name, out, o)
        expect(status == 0 and not err, f"{name}: greedy wheel not clean: {status} {err!r}")

        # Without one cover the holes are what that cover alone covered; under
        # --map the report is the same with its numbers on the picks.
        drop = len(found) // 2
        cut = "\n".join(s for i, s in enumerate(lines, 1) if i != found[drop][0]).encode()
        alone = [s for s, h in zip(o.ksets, o.hits) if h == [drop]]
        status, out, _ = run(bin_dir, "vorlank-check", params + ["--holes", "--reduce"], cut)
        got = sets(report(out)[0]["holes"][1])
        expect(status == (1 if alone else 0) and got == alone,
               f"{name} without cover {drop + 1}: {status}, holes {got}, expected {alone}")
        picks = rng.sample(range(1, 100), n)
        mapping = ["--map", ",".join(map(str, picks))]
        _, out2, _ = run(bin_dir, "vorlank-check", params + ["--holes", "--reduce"] + mapping, cut)
        expect(out2 == mapped(out, n, picks), f"{name} --map: {out2!r}")
        # The reduced wheel as printed on the picks is the same wheel read back
        # with --on-picks: the same report, line for line.
        _, back, err = run(bin_dir, "vorlank-check", params + ["--holes"] + mapping + ["--on-picks"],
                           out2.encode())
        _, want, _ = run(bin_dir, "vorlank-check", params + ["--holes"] + mapping, out.encode())
        expect(back == want and not err, f"{name} --on-picks: {back!r} {err!r}, expected {want!r}")

        # --reduce: the oracle's reduction, and it reads back clean.
        status, out, _ = run(bin_dir, "vorlank-check", ["--reduce"] + params, text.encode())
        want = [tuple(sorted(o.covers[i])) for i in sorted(o.reduce())]
        expect(status == 0 and report(out)[1] == want, f"{name} --reduce: {status} {out!r}")
        status, out, _ = run(bin_dir, "vorlank-check", params, out.encode())
        f, _ = report(out)
        expect(status == 0 and f["covers"][0] == str(len(want)) and f["redundant"][0] == "none",
               f"{name} reduced wheel read back: status {status}, {f}")


def random_wheels(bin_dir):
    rng = random.Random(2024)
    for trial in range(40):
        n = rng.randint(3, 9)
        k, x = rng.randint(1, n - 1), rng.randint(1, n - 1)
        t = rng.randint(0, min(k, x))
        covers = [tuple(sorted(rng.sample(range(1, n + 1), x))) for _ in range(rng.randint(1, 12))]
        if rng.random() < 0.3:
            covers.append(rng.choice(covers))  # a duplicate is redundant with its twin
        text = "# random wheel\n" + "".join(", ".join(map(str, c)) + "\n" for c in covers)
        o, name = Oracle(n, k, x, t, covers), f"random {trial} L({n},{k},{x},{t})"
        draw = sorted(rng.sample(range(1, n + 1), k))
        args = [n, k, x, t, "--profile", "--draw", ",".join(map(str, draw))]
        args += ["--holes"] if trial % 2 == 0 else []
        status, out, _ = run(bin_dir, "vorlank-check", args, text.encode())
        lines = list(range(2, len(covers) + 2))
        expect_report(name, out, status, o, lines, trial % 2 == 0)
        expect_profile(name, out, o)
        at = out.split("\n").index("draw: " + " ".join(map(str, draw))) + 1
        got = out.split("\n")[at:at + len(o.draw(draw, lines))]
        expect(got == o.draw(draw, lines), f"{name} draw {draw}: {got}")


# Bytes of address space for reading an endless wheel: ample for the covers
# the check counts, a fraction of what the lines fed would take if kept.
LIMIT = 256_000_000
# The most bytes fed, were the input read on and on.
FEED = 1 << 30


def limited():
    resource.setrlimit(resource.RLIMIT_AS, (LIMIT, LIMIT))


def endless(bin_dir, args, line, limit):
    """vorlank-check on line repeated for up to FEED bytes, written as it reads."""
    p = subprocess.Popen([os.path.join(bin_dir, "vorlank-check")] + [str(a) for a in args],
                         stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                         preexec_fn=limited if limit else None)

    def feed():
        chunk = line * ((1 << 20) // len(line))
        try:
            for _ in range(FEED // len(chunk)):
                p.stdin.write(chunk)
        except BrokenPipeError:
            pass  # it stopped reading
        try:
            p.stdin.close()
        except BrokenPipeError:
            pass

    writer = threading.Thread(target=feed, daemon=True)
    writer.start()
    hung = threading.Timer(120, p.kill)
    hung.start()
    out, err = p.stdout.read(), p.stderr.read()
    status = p.wait()
    hung.cancel()
    writer.join()
    return status, out.decode(), err.decode()


def endless_wheels(bin_dir):
    # The sanitizers reserve far more address space than the limit: there the
    # run goes without it.
    limit = run(bin_dir, "vorlank-check", ["--help"], preexec_fn=limited)[0] == 0
    too_many = ("Error: the check takes at most 65535 covers, as it counts them per k-set in 16 "
                "bits (here more: cover 65536 is on line 65536)\n")
    too_long = "Error: line 1: over 1048576 bytes long, longer than any line of a wheel\n"
    for line, want in ((b"1 2 3 4 5 6\n", too_many), (b"0" * 4096, too_long)):
        status, out, err = endless(bin_dir, [49, 6, 6, 3], line, limit)
        expect(status == 2 and out == "" and err == want,
               f"endless {line[:12]!r}: status {status}, stdout {out[:100]!r}, stderr {err[:300]!r}")


if __name__ == "__main__":
    main(endless_wheels, greedy_wheels, random_wheels)
