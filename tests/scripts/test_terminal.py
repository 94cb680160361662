#!/usr/bin/env python3
"""On a terminal, vorlank shows the table-building dots as they are printed.

Standard output to a terminal is line-buffered: unless each dot is flushed,
the whole line arrives at once when the table is built. The nk-table of
L(49,6,6,3) takes long enough for separate dots to be seen.
"""
import argparse
import os
import select
import subprocess
import sys
import time

ap = argparse.ArgumentParser()
ap.add_argument("--bin-dir", required=True)
bin_dir = ap.parse_args().bin_dir

master, slave = os.openpty()
proc = subprocess.Popen([os.path.join(bin_dir, "vorlank"), "49", "6", "6", "3"],
                        stdin=subprocess.PIPE, stdout=slave, stderr=slave)
os.close(slave)
proc.stdin.write(b"2\n")
proc.stdin.close()
title = b"Building n under k table."
seen, reads, deadline = b"", [], time.time() + 120
try:
    while time.time() < deadline:
        if not select.select([master], [], [], 1)[0]:
            continue
        chunk = os.read(master, 4096)
        if not chunk:
            break
        seen += chunk
        if title in seen:
            reads.append(chunk)
        at = seen.find(title)
        if at >= 0 and b"\n" in seen[at:]:
            break
finally:
    proc.kill()
    proc.wait()
    os.close(master)

line = seen[seen.find(title):].split(b"\r\n")[0] if title in seen else b""
early = [r for r in reads if b"." in r.replace(title, b"") and b"\n" not in r]
if line.count(b".") != 40 or not early:
    sys.exit(f"FAIL: dots not shown as they come: line {line!r}, reads {reads!r}")
print("1 passed, 0 failed")
