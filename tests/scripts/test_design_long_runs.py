#!/usr/bin/env python3
"""vorlank-design on long runs: an interrupt stops the search at once and
prints the best wheel so far, proved, or says that none was found yet, and
exits as the signal asks; the progress line on a terminal keeps moving;
--seconds bounds the whole run, and a proof that cannot fit is refused at
once.
"""
import os
import pty
import re
import select
import signal
import subprocess
import time

from common import expect, finish, main, proves, sanitized

def design(bin_dir, args, **kw):
    return subprocess.Popen([os.path.join(bin_dir, "vorlank-design"), "--no-store"] +
                            [str(a) for a in args], stdout=subprocess.PIPE,
                            stderr=kw.pop("stderr", subprocess.PIPE), **kw)


def interrupted(bin_dir, sig, status, inst, after, within):
    # The search stops at once and prints the wheel at hand, proved as the
    # run went: L(49,6,6,3)'s quickest wheel comes within a second, long
    # before the greedy of the whole would end.
    p = design(bin_dir, ["--seconds", 60, *inst])
    time.sleep(after)
    p.send_signal(sig)
    sent = time.monotonic()
    out, err = finish(p, 60)
    out = out.decode()
    name = signal.Signals(sig).name
    waited = time.monotonic() - sent
    expect(waited <= (30 if sanitized(bin_dir) else within),
           f"{name}: {waited:.1f} s from the signal to the end")
    expect(p.returncode == status, f"{name}: status {p.returncode}, stderr {err!r}")
    expect(re.search(rf"^# interrupted by {name} after [0-9.]+ s, with \d+ covers$", out, re.M),
           f"{name}: no interrupt line in {out[:300]!r}")
    expect(proves(bin_dir, inst, out), f"{name}: the wheel does not check")


def interrupted_early(bin_dir, sig, status):
    # The first wheel of L(40,6,6,4) takes seconds: a signal before it
    # leaves no wheel to print, only the reason, and the signal's status.
    p = design(bin_dir, ["--seconds", 30, 40, 6, 6, 4])
    time.sleep(0.5)
    p.send_signal(sig)
    out, err = finish(p, 30)
    name = signal.Signals(sig).name
    line = f"Error: interrupted by {name} before any wheel for L(40,6,6,4) was found\n"
    expect(p.returncode == status and out == b"" and err.decode() == line,
           f"{name} at once: status {p.returncode}, {out[:200]!r}, {err!r}")


def progress(bin_dir):
    # Standard error on a terminal: the line is rewritten at least once a
    # second, with the elapsed time rising.
    term, sub = pty.openpty()
    p = design(bin_dir, ["--seconds", 4, 27, 4, 6, 3], stderr=sub)
    os.close(sub)
    seen, stop = b"", time.monotonic() + 30
    while time.monotonic() < stop:
        if select.select([term], [], [], 1)[0]:
            try:
                chunk = os.read(term, 4096)
            except OSError:
                break
            if not chunk:
                break
            seen += chunk
        if p.poll() is not None:
            break
    finish(p, 30)
    os.close(term)
    times = [float(t) for t in re.findall(rb"\r *([0-9]+\.[0-9]) s  ", seen)]
    expect(len(times) >= 4, f"progress: {len(times)} updates in a 4 s run: {seen[-300:]!r}")
    expect(times == sorted(times), f"progress: times {times[:20]} do not rise")
    expect(re.search(rb"(greedy|symmetric search|local search|proof)", seen),
           "progress: the phase is not named")


def limits(bin_dir):
    # The whole run within max(1.25 S, S + 1.5 s), with a margin for a loaded
    # machine; not under the sanitizers, where the greedy searches take
    # several times their estimates and a short run may be refused instead.
    # --moves never lifts the clock; the local search of a whole wheel whose
    # setup alone would overrun does not start (L(28,13,2,1)); exact solves
    # waiting their turn for CBC count the wait (32 threads); a wide pool's
    # groups are closed within the time, and a split at the lower bound ends
    # the search (L(181,1,122,1) once took 7 s of 1).
    cases = [(2, (49, 6, 6, 3)), (3, (22, 10, 10, 6)), (0.5, (27, 4, 6, 3)),
             (1, ("--moves", 56, 11, 4, 6, 4)), (2, (28, 13, 2, 1)),
             (2, ("--threads", 32, 18, 4, 6, 4)), (1, (181, 1, 122, 1))]
    for secs, inst in [] if sanitized(bin_dir) else cases:
        start = time.monotonic()
        env = dict(os.environ, VORLANK_THREADS=str(inst[1])) if inst[0] == "--threads" else None
        p = design(bin_dir, ["--seconds", secs, *(inst[2:] if env else inst)], env=env)
        out, err = finish(p, 120)
        wall = time.monotonic() - start
        expect(p.returncode == 0 and wall <= max(1.25 * secs, secs + 1.5) + 3,
               f"--seconds {secs} {inst}: status {p.returncode}, {err!r}, {wall:.1f} s")
    p = design(bin_dir, ["--seconds", 0.3, 64, 7, 7, 3])
    out, err = finish(p, 10)
    expect(p.returncode == 2 and re.fullmatch(
        rb"Error: no wheel for L\(64,7,7,3\) within --seconds 0.3: its proof alone would take "
        rb"about \d+ seconds\n", err), f"proof refused: {p.returncode} {err!r}")
    # Where the proof fits but the quickest wheel with it does not, the
    # refusal comes at once and names a time beyond the one given.
    start = time.monotonic()
    p = design(bin_dir, ["--seconds", 10, 64, 7, 7, 3])
    out, err = finish(p, 10)
    need = re.fullmatch(rb"Error: no wheel for L\(64,7,7,3\) within --seconds 10: its quickest "
                        rb"wheel would take about (\d+) seconds\n", err)
    wall = time.monotonic() - start
    expect(p.returncode == 2 and need and int(need[1]) > 10 and wall < 3,
           f"quickest wheel refused: {p.returncode} {err!r} in {wall:.1f} s")


def interrupts(bin_dir):
    interrupted(bin_dir, signal.SIGINT, 130, (49, 6, 6, 3), 2, 3)
    interrupted(bin_dir, signal.SIGTERM, 143, (27, 4, 6, 3), 3, 15)
    interrupted_early(bin_dir, signal.SIGINT, 130)
    interrupted_early(bin_dir, signal.SIGTERM, 143)


if __name__ == "__main__":
    main(interrupts, progress, limits)
