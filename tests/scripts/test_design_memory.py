#!/usr/bin/env python3
"""vorlank-design out of memory: a run whose allocation fails (here under a
limit of the address space, which the memory available does not show) ends
with one "Error: out of memory ..." line and status 2, never an abort.

Skipped where the program cannot even start under the limit: the sanitizers
reserve far more address space than that.
"""
import argparse
import os
import resource
import subprocess
import sys

# Bytes of address space: enough to start, far below what L(64,7,7,3)'s
# counts take (621 million k-sets).
LIMIT = 500_000_000


def limited():
    resource.setrlimit(resource.RLIMIT_AS, (LIMIT, LIMIT))


def run(bin_dir, args):
    p = subprocess.run([os.path.join(bin_dir, "vorlank-design")] + args, capture_output=True,
                       timeout=120, preexec_fn=limited)
    return p.returncode, p.stdout.decode(), p.stderr.decode()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin-dir", required=True)
    bin_dir = ap.parse_args().bin_dir
    if run(bin_dir, ["--help"])[0] != 0:
        print("skipped: vorlank-design does not start within the limit")
        return
    status, out, err = run(bin_dir, ["--seconds", "30", "--no-store", "64", "7", "7", "3"])
    want = "Error: out of memory for the counts of the 621216192 k-sets of L(64,7,7,3)\n"
    if status != 2 or out != "" or err != want:
        print(f"FAIL: status {status}, stdout {out[:200]!r}, stderr {err[:300]!r}")
        sys.exit(1)


if __name__ == "__main__":
    main()
