#!/usr/bin/env python3
"""vorlank-design's store of proved wheels, as runs see it.

Where the store lives by default (XDG_DATA_HOME, else HOME), that the file
is the printed wheel and vorlank-check reads it, that the next run starts
from it, that --no-store reads and writes nothing, that a store that cannot
be written is a warning and no error, that the parts of a split are kept
beside the whole, and that runs at once leave the smallest of their
wheels, whole, and no temporary file.
"""
import argparse
import os
import subprocess
import sys
import tempfile

failures = []


def run(bin_dir, args, env, stdin=b""):
    p = subprocess.run([os.path.join(bin_dir, "vorlank-design")] + [str(a) for a in args],
                       input=stdin, capture_output=True, timeout=120, env=env)
    return p.returncode, p.stdout.decode(), p.stderr.decode()


def env_with(**values):
    env = {k: v for k, v in os.environ.items() if k not in ("XDG_DATA_HOME", "HOME")}
    env.update(values)
    return env


def read(path):
    with open(path) as f:
        return f.read()


def expect(what, ok):
    if not ok:
        failures.append(what)


def checks(bin_dir, text, inst):
    p = subprocess.run([os.path.join(bin_dir, "vorlank-check")] + [str(a) for a in inst],
                       input=text.encode(), capture_output=True)
    return p.returncode == 0


def finish(p, timeout):
    """The output of a run, which must end within `timeout` seconds; one
    still running then is killed, so that no test leaves a search behind."""
    try:
        return p.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        p.kill()
        out, err = p.communicate()
        expect(f"{p.args[1:]}: still running after {timeout} s", False)
        return out, err


def size(text):
    return sum(1 for l in text.splitlines() if l and not l.startswith("#"))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin-dir", required=True)
    bin_dir = ap.parse_args().bin_dir
    inst = [10, 2, 6, 2]  # the search reaches the lower bound, 4, at once
    with tempfile.TemporaryDirectory() as tmp:
        # By default under XDG_DATA_HOME: the file is what was printed.
        data = os.path.join(tmp, "data")
        status, first, err = run(bin_dir, inst, env_with(XDG_DATA_HOME=data, HOME="/dev/null/x"))
        stored = os.path.join(data, "vorlank", "wheels", "L10-2-6-2.txt")
        expect(f"first run: status {status}, {err!r}", status == 0 and err == "")
        expect("the stored file is the printed wheel",
               os.path.exists(stored) and read(stored) == first)
        expect("vorlank-check proves the stored file", checks(bin_dir, read(stored), inst))

        # The next run starts from it and says so; the file stays as it was.
        status, again, err = run(bin_dir, inst, env_with(XDG_DATA_HOME=data))
        expect(f"second run: {again!r} {err!r}",
               status == 0 and f"# from the store: 4 covers ({stored})\n" in again)
        expect("a wheel as large does not replace the stored one", read(stored) == first)

        # Without XDG_DATA_HOME (or with a relative one): under HOME.
        home = os.path.join(tmp, "home")
        status, out, err = run(bin_dir, inst, env_with(HOME=home))
        expect(f"HOME run: {status} {err!r}", status == 0 and out == first)
        expect("stored under HOME", os.path.exists(
            os.path.join(home, ".local", "share", "vorlank", "wheels", "L10-2-6-2.txt")))
        status, out, err = run(bin_dir, inst, env_with(HOME=home, XDG_DATA_HOME="relative"))
        expect(f"relative XDG_DATA_HOME: {out!r}", status == 0 and "# from the store" in out)

        # --no-store: today's output, nothing read or written.
        status, out, err = run(bin_dir, ["--no-store"] + inst, env_with(XDG_DATA_HOME=data))
        expect("--no-store reads nothing", status == 0 and out == first and err == "")
        empty = os.path.join(tmp, "empty")
        os.mkdir(empty)
        run(bin_dir, ["--no-store"] + inst, env_with(XDG_DATA_HOME=empty, HOME=empty))
        expect("--no-store writes nothing", os.listdir(empty) == [])

        # A store that cannot be written: one warning, the wheel, status 0.
        status, out, err = run(bin_dir, ["--store", "/dev/null/wheels"] + inst, env_with())
        expect(f"unwritable store: {status} {err!r}",
               status == 0 and out == first and len(err.splitlines()) == 1 and
               err.startswith("Warning: cannot keep the wheel in /dev/null/wheels/L10-2-6-2.txt"))

        # A larger stored wheel gives way to the smaller one found from it.
        big = [15, 4, 5, 3]
        store = os.path.join(tmp, "store")
        greedy = subprocess.run([os.path.join(bin_dir, "vorlank")] + [str(a) for a in big],
                                input=b"2\n", capture_output=True).stdout.decode()
        status, out, _ = run(bin_dir, ["--moves", 1, "--from", "-", "--no-store"] + big,
                             env_with(), greedy.encode())
        os.mkdir(store)
        with open(os.path.join(store, "L15-4-5-3.txt"), "w") as f:
            f.write(out)
        status, better, err = run(bin_dir, ["--store", store, "--moves", 20000] + big, env_with())
        expect(f"from a larger stored wheel: {status} {err!r}",
               status == 0 and size(better) < size(out) and "# from the store:" in better)
        expect("the smaller wheel replaced it",
               read(os.path.join(store, "L15-4-5-3.txt")) == better)

        # A split run keeps its parts' wheels too, each proved for its own
        # instance: L(30,4,6,2) comes out of L(10,2,6,2) and L(14,2,6,2).
        parts = os.path.join(tmp, "parts")
        status, out, err = run(bin_dir, ["--store", parts, "--moves", 2000, 30, 4, 6, 2],
                               env_with())
        expect(f"split run: {status} {err!r} {out[:300]!r}",
               status == 0 and "# split into 3 parts" in out)
        for part in ([10, 2, 6, 2], [14, 2, 6, 2]):
            path = os.path.join(parts, "L" + "-".join(map(str, part)) + ".txt")
            expect(f"part {part}: not kept ({sorted(os.listdir(parts))})",
                   os.path.exists(path) and checks(bin_dir, read(path), part))
        # A stored part that local search improves goes back to the store: a
        # wheel of 8 covers for L(14,2,6,2) (its greedy takes 9) comes back
        # as local search's 7.
        path = os.path.join(parts, "L14-2-6-2.txt")
        covers = [l for l in read(path).splitlines() if l and not l.startswith("#")]
        extra = next(c for c in ("1 2 3 4 5 6", "1 2 3 4 5 7") if c not in covers)
        with open(path, "w") as f:
            f.write(f"# L(14,2,6,2): {len(covers) + 1} covers, lower bound 7\n" +
                    "\n".join(covers + [extra]) + "\n")
        os.remove(os.path.join(parts, "L30-4-6-2.txt"))
        run(bin_dir, ["--store", parts, "--moves", 2000, 30, 4, 6, 2], env_with())
        expect(f"improved part not kept: {read(path)[:200]!r}", size(read(path)) == len(covers))

        # Runs at once: the smallest printed wheel ends in the store, whole.
        inst = [14, 4, 5, 3]
        shared = os.path.join(tmp, "shared")
        runs = [subprocess.Popen([os.path.join(bin_dir, "vorlank-design"), "--store", shared,
                                  "--moves", "30000", "--seed", str(seed)] +
                                 [str(a) for a in inst], stdout=subprocess.PIPE,
                                 stderr=subprocess.PIPE, env=env_with())
                for seed in range(1, 7)]
        outs = [finish(p, 120) for p in runs]
        sizes = [size(o.decode()) for o, _ in outs]
        expect(f"runs at once: {[e.decode() for _, e in outs]}",
               all(p.returncode == 0 for p in runs) and all(e == b"" for _, e in outs))
        final = read(os.path.join(shared, "L14-4-5-3.txt"))
        expect(f"runs at once: stored {size(final)}, printed {sizes}",
               size(final) == min(sizes) and checks(bin_dir, final, inst))
        expect(f"runs at once left {sorted(os.listdir(shared))}",
               sorted(os.listdir(shared)) == [".lock", "L14-4-5-3.txt"])
    for f in failures:
        print("FAIL:", f)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
