#!/usr/bin/env python3
"""Transcript tests: run a program on a case and compare its output byte for byte.

A case NAME in tests/cases/ is a set of files:
  NAME.args    the command line, shell words; the first is the program
               (vorlank or vorlank-check), looked up in --bin-dir
  NAME.in      standard input (none: empty input)
  NAME.out     the expected standard output, clock fields masked
  NAME.err     the expected standard error (none: it must be empty)
  NAME.status  the expected exit status (none: 0)
  NAME.store/  wheels for vorlank-design's store (none: no store), copied to
               ./store, where --store store finds them

Each case runs in a fresh empty directory of its own, with XDG_DATA_HOME
and HOME inside it, so that no case reads or writes the store in the real
home and no case sees what another one stored.

Only the clock fields are masked: the text after "Started at:    " and
"Finished at:    ", the number in "running time: N sec" and each step's
seconds. Everything else, blanks and backspaces included, must match.

  transcript.py --bin-dir build NAME...           check cases
  transcript.py --bin-dir build --accept NAME...  write the actual output as
                                                  the expected one (review it
                                                  with git diff first)
"""
import argparse
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

CASES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "cases")


def mask(data: bytes) -> bytes:
    data = re.sub(rb"(Started at:    |Finished at:    )[^\n]*", rb"\1<clock>", data)
    data = re.sub(rb"running time: -?\d+ sec", rb"running time: <sec> sec", data)
    data = re.sub(rb"(  +)-?\d+( sec\n)", rb"\1<sec>\2", data)
    return data


def read(path, default=None):
    if not os.path.exists(path):
        return default
    with open(path, "rb") as f:
        return f.read()


def run(bin_dir, name):
    base = os.path.join(CASES, name)
    words = shlex.split(read(base + ".args").decode())
    prog = os.path.abspath(os.path.join(bin_dir, words[0]))
    with tempfile.TemporaryDirectory() as tmp:
        env = dict(os.environ, XDG_DATA_HOME=os.path.join(tmp, "data"),
                   HOME=os.path.join(tmp, "home"))
        if os.path.isdir(base + ".store"):
            shutil.copytree(base + ".store", os.path.join(tmp, "store"))
        proc = subprocess.run([prog] + words[1:], input=read(base + ".in", b""),
                              capture_output=True, timeout=300, cwd=tmp, env=env)
    return base, mask(proc.stdout), proc.stderr, proc.returncode


def check(bin_dir, name):
    base, out, err, status = run(bin_dir, name)
    want_out = read(base + ".out", b"")
    want_err = read(base + ".err", b"")
    want_status = int(read(base + ".status", b"0"))
    ok = True
    if out != want_out:
        ok = False
        print(f"{name}: standard output differs")
        exp, act = want_out.split(b"\n"), out.split(b"\n")
        for i in range(max(len(exp), len(act))):
            e = exp[i] if i < len(exp) else None
            a = act[i] if i < len(act) else None
            if e != a:
                print(f"  line {i + 1}:\n    expected {e!r}\n    actual   {a!r}")
                break
    if err != want_err:
        ok = False
        print(f"{name}: standard error differs\n  expected {want_err!r}\n  actual   {err!r}")
    if status != want_status:
        ok = False
        print(f"{name}: exit status {status}, expected {want_status}")
    return ok


def accept(bin_dir, name):
    base, out, err, status = run(bin_dir, name)
    with open(base + ".out", "wb") as f:
        f.write(out)
    for ext, data, default in ((".err", err, b""), (".status", str(status).encode(), b"0")):
        if data != default:
            with open(base + ext, "wb") as f:
                f.write(data)
        elif os.path.exists(base + ext):
            os.remove(base + ext)
    print(f"{name}: accepted")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin-dir", required=True)
    ap.add_argument("--accept", action="store_true")
    ap.add_argument("names", nargs="*")
    a = ap.parse_args()
    names = a.names or sorted(f[:-5] for f in os.listdir(CASES) if f.endswith(".args"))
    failed = 0
    for name in names:
        if a.accept:
            accept(a.bin_dir, name)
        elif not check(a.bin_dir, name):
            failed += 1
    if not a.accept:
        print(f"{len(names) - failed} passed, {failed} failed")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
