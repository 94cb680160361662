#!/usr/bin/env python3
"""vorlank-design out of memory: a run whose allocation fails, or whose
threads cannot start (here under a limit of the address space, which the
memory available does not show), ends with one "Error: out of memory ..."
line and status 2, never an abort. A run that fits under its limit prints a
wheel vorlank-check proves. Either way standard output holds only the
wheel's # lines and covers, whatever a library linked in prints.

Each limit is skipped where the program cannot even start under it: the
sanitizers reserve far more address space than that.
"""
import os
import re
import resource
import shutil
import subprocess
import tempfile

from common import arguments, done, expect, proves, run, sanitized

# Bytes of address space: enough to start, far below what L(64,7,7,3)'s
# counts take (621 million k-sets).
LIMIT = 500_000_000

# Instances and limits (MB) that end in the middle of the search: the first
# thread, the symmetric search's threads, an allocation inside
# std::call_once (whose cleanup glibc runs through libgcc_s) or one in the
# middle of a part. Where a run fits after all, it must print a proved wheel.
TIGHT = [("49 6 6 3", 30), ("49 6 6 2", 35), ("35 4 5 3", 35), ("22 3 6 3", 40),
         ("49 6 6 3", 60)]

COVER = re.compile(r"\d+( \d+)*")


def design(bin_dir, args, limit):
    def limited():
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
    return run(bin_dir, "vorlank-design", args, preexec_fn=limited)


def starts(bin_dir, limit):
    return design(bin_dir, ["--help"], limit)[0] == 0


def check_wheel(bin_dir, inst, out, what):
    """Only # lines and covers, which vorlank-check proves."""
    stray = [l for l in out.split("\n")[:-1] if not l.startswith("#") and not COVER.fullmatch(l)]
    expect(out.endswith("\n") and not stray, f"{what}: stdout has {stray[:3]!r}")
    expect(proves(bin_dir, inst.split(), out), f"{what}: vorlank-check finds no wheel")


# A library that talks on standard output in the middle of the search, as
# CBC's LP code does ("2 slacks added"): every thread started prints a line.
CHATTER = r"""
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <stdio.h>
int pthread_create(pthread_t *t, const pthread_attr_t *a, void *(*f)(void *), void *arg) {
  printf("2 slacks added\n");
  int (*real)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *) =
      (int (*)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *))dlsym(RTLD_NEXT,
                                                                                "pthread_create");
  return real(t, a, f, arg);
}
"""


def chatter(bin_dir):
    """None of what a library prints reaches the wheel (the sanitizers'
    runtimes must come first among the libraries: skipped there)."""
    cc = shutil.which("cc") or shutil.which("gcc")
    if not cc or sanitized(bin_dir):
        print("skipped: library chatter")
        return
    with tempfile.TemporaryDirectory() as tmp:
        lib = os.path.join(tmp, "chatter.so")
        with open(os.path.join(tmp, "chatter.c"), "w") as f:
            f.write(CHATTER)
        subprocess.run([cc, "-shared", "-fPIC", "-o", lib, f.name, "-ldl"], check=True)
        for inst in ["13 2 4 2", "27 4 6 3"]:
            status, out, _ = run(bin_dir, "vorlank-design", ["--seconds", 1, "--no-store"] +
                                 inst.split(), env=dict(os.environ, LD_PRELOAD=lib,
                                                        VORLANK_THREADS="2"))
            expect(status == 0, f"L({inst}) with chatter: status {status}")
            check_wheel(bin_dir, inst, out, f"L({inst}) with chatter")


def main():
    bin_dir = arguments().bin_dir
    if not starts(bin_dir, LIMIT):
        print("skipped: vorlank-design does not start within the limit")
        return
    status, out, err = design(bin_dir, ["--seconds", 30, "--no-store", 64, 7, 7, 3], LIMIT)
    want = "Error: out of memory in the search for L(64,7,7,3)\n"
    expect(status == 2 and out == "" and err == want,
           f"L(64,7,7,3): status {status}, stdout {out[:200]!r}, stderr {err[:300]!r}")

    for inst, mb in TIGHT:
        limit = mb * 1_000_000
        if not starts(bin_dir, limit):
            print(f"skipped: vorlank-design does not start within {mb} MB")
            continue
        what = f"L({inst.replace(' ', ',')}) under {mb} MB"
        status, out, err = design(bin_dir, ["--seconds", 2, "--no-store"] + inst.split(), limit)
        if status == 0:
            check_wheel(bin_dir, inst, out, what)
            continue
        want = f"Error: out of memory in the search for L({inst.replace(' ', ',')})\n"
        expect(status == 2 and out == "" and err == want,
               f"{what}: status {status}, stdout {out[:200]!r}, stderr {err[:300]!r}")

    chatter(bin_dir)
    done()


if __name__ == "__main__":
    main()
