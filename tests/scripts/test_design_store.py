#!/usr/bin/env python3
"""vorlank-design's store of proved wheels, as runs see it.

Where the store lives by default (XDG_DATA_HOME, else HOME), that the file
is the printed wheel and vorlank-check reads it, that the next run starts
from it, that --no-store reads and writes nothing, that a store that cannot
be written is a warning and no error, that a smaller wheel replaces a
larger stored one, and that the parts of a split are kept beside the whole
(runs at once: test_store_sharing.py).
"""
import os
import tempfile

import common
from common import env_with, expect, main, proves, size


def run(bin_dir, args, env, **kw):
    return common.run(bin_dir, "vorlank-design", args, env=env, **kw)


def read(path):
    with open(path) as f:
        return f.read()


def store(bin_dir):
    inst = [10, 2, 6, 2]  # the search reaches the lower bound, 4, at once
    with tempfile.TemporaryDirectory() as tmp:
        # By default under XDG_DATA_HOME: the file is what was printed.
        data = os.path.join(tmp, "data")
        status, first, err = run(bin_dir, inst, env_with(XDG_DATA_HOME=data, HOME="/dev/null/x"))
        stored = os.path.join(data, "vorlank", "wheels", "L10-2-6-2.txt")
        expect(status == 0 and err == "" and os.path.exists(stored) and read(stored) == first and
               proves(bin_dir, inst, first), f"first run: status {status}, {err!r}, not stored")

        # The next run starts from it and says so; the file stays as it was.
        status, again, err = run(bin_dir, inst, env_with(XDG_DATA_HOME=data))
        expect(status == 0 and f"# from the store: 4 covers ({stored})\n" in again and
               read(stored) == first, f"second run: {again!r} {err!r}, stored {read(stored)!r}")

        # Without XDG_DATA_HOME (or with a relative one): under HOME.
        home = os.path.join(tmp, "home")
        status, out, err = run(bin_dir, inst, env_with(HOME=home))
        expect(status == 0 and out == first and os.path.exists(
            os.path.join(home, ".local", "share", "vorlank", "wheels", "L10-2-6-2.txt")),
               f"HOME run: {status} {err!r}, or not stored under HOME")
        status, out, err = run(bin_dir, inst, env_with(HOME=home, XDG_DATA_HOME="relative"),
                               cwd=tmp)
        expect(status == 0 and "# from the store" in out, f"relative XDG_DATA_HOME: {out!r}")

        # --no-store: today's output, nothing read or written.
        status, out, err = run(bin_dir, ["--no-store"] + inst, env_with(XDG_DATA_HOME=data))
        expect(status == 0 and out == first and err == "", "--no-store reads the store")
        empty = os.path.join(tmp, "empty")
        os.mkdir(empty)
        run(bin_dir, ["--no-store"] + inst, env_with(XDG_DATA_HOME=empty, HOME=empty))
        expect(os.listdir(empty) == [], "--no-store writes")

        # A store that cannot be written: one warning, the wheel, status 0.
        status, out, err = run(bin_dir, ["--store", "/dev/null/wheels"] + inst, env_with())
        expect(status == 0 and out == first and len(err.splitlines()) == 1 and
               err.startswith("Warning: cannot keep the wheel in /dev/null/wheels/L10-2-6-2.txt"),
               f"unwritable store: {status} {err!r}")

        # A larger stored wheel gives way to the smaller one found from it.
        larger = os.path.join(tmp, "larger")
        os.mkdir(larger)
        with open(os.path.join(larger, "L10-2-6-2.txt"), "w") as f:
            f.write(first.replace(": 4 covers,", ": 5 covers,") + "1 2 3 4 5 6\n")
        status, out, err = run(bin_dir, ["--store", larger] + inst, env_with())
        expect(status == 0 and "# from the store: 5 covers" in out and size(out) == 4 and
               read(os.path.join(larger, "L10-2-6-2.txt")) == out,
               f"from a larger stored wheel: {status} {err!r} {out!r}")

        # A split run keeps its parts' wheels too, each proved for its own
        # instance: L(30,4,6,2) comes out of L(10,2,6,2) and L(14,2,6,2).
        parts = os.path.join(tmp, "parts")
        status, out, err = run(bin_dir, ["--store", parts, "--moves", 2000, 30, 4, 6, 2],
                               env_with())
        expect(status == 0 and "# split into 3 parts" in out,
               f"split run: {status} {err!r} {out[:300]!r}")
        for part in ([10, 2, 6, 2], [14, 2, 6, 2]):
            path = os.path.join(parts, "L" + "-".join(map(str, part)) + ".txt")
            expect(os.path.exists(path) and proves(bin_dir, part, read(path)),
                   f"part {part}: not kept ({sorted(os.listdir(parts))})")
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
        expect(size(read(path)) == len(covers), f"improved part not kept: {read(path)[:200]!r}")

if __name__ == "__main__":
    main(store)
