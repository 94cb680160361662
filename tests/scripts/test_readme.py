#!/usr/bin/env python3
"""README.md stays true: its examples print what it shows, its layout names every file.

Examples: each command of README.md shown as "$ ..." in an indented block
that runs vorlank-check or vorlank-design (with the variables set before it,
such as P=...) runs in one temporary folder, build/ standing for --bin-dir,
and must print the lines below it. vorlank-design's search shares its time
in real seconds, so of its wheel only the lines that do not hang on the
clock are compared: the first line (instance, size, lower bound), the
proved line and the number of covers. The examples run in the plain build
only: under the sanitizers the greedy run of L(49,6,6,3) alone takes a minute,
and they print the same.

  test_readme.py --bin-dir build            check
  test_readme.py --bin-dir build --update   write the build's output into
                                            README.md's blocks (review it
                                            with git diff)

Layout: every file of the repository but the transcript cases is named in
the README's Layout section, by its path or its name.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
README = os.path.join(ROOT, "README.md")
failures = []


def expect(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def examples(lines):
    """(first line index, end index, command, expected output lines) of each
    "    $ command" in the README; a command line ending in | or \\ goes on."""
    out, i = [], 0
    while i < len(lines):
        if not lines[i].startswith("    $ "):
            i += 1
            continue
        first, command = i, lines[i][6:]
        while command.rstrip().endswith(("|", "\\")) and i + 1 < len(lines):
            i += 1
            command += "\n" + lines[i]
        i += 1
        start = i
        while i < len(lines) and lines[i].startswith("    ") and not lines[i].startswith("    $ "):
            i += 1
        out.append((first, start, i, command, [l[4:] for l in lines[start:i]]))
    return out


def stable(output):
    """The lines of vorlank-design's output that do not hang on the clock."""
    return ([l for l in output if l.startswith(("# L(", "# proved"))],
            sum(1 for l in output if l and not l.startswith("#")))


def run_examples(bin_dir, update):
    with open(README, encoding="utf-8") as f:
        lines = f.read().split("\n")
    bin_dir = os.path.abspath(bin_dir)
    variables, replace = [], []
    with tempfile.TemporaryDirectory() as tmp:
        for first, start, end, command, want in examples(lines):
            if re.fullmatch(r"\w+=\S*", command):
                variables.append(command)
                continue
            if "vorlank-check" not in command and "vorlank-design" not in command:
                continue
            script = "\n".join(variables + [re.sub(r"(?<![\w/.])build/", bin_dir + "/", command)])
            p = subprocess.run(["bash", "-c", script], cwd=tmp, capture_output=True, timeout=240)
            got = p.stdout.decode().split("\n")
            if got and got[-1] == "":
                got.pop()
            replace.append((start, end, got))
            design = "vorlank-design" in command
            if (stable(got) == stable(want)) if design else (got == want):
                continue
            diff = next((j for j in range(max(len(got), len(want)))
                         if (got[j:j + 1] or [None]) != (want[j:j + 1] or [None])), 0)
            expect(update, f"README.md line {first + 1}: `{command}` prints otherwise than the "
                   f"README shows{' (its stable lines: first, proved, count)' if design else ''}; "
                   f"output line {diff + 1}: README {want[diff] if diff < len(want) else None!r}, "
                   f"build {got[diff] if diff < len(got) else None!r} "
                   f"(stderr {p.stderr.decode()[-300:]!r}). If the change is meant, write the "
                   f"build's output into README.md with `python3 tests/scripts/test_readme.py "
                   f"--bin-dir build --update` and review it with git diff.")
    if update:
        for start, end, got in reversed(replace):
            lines[start:end] = ["    " + l if l else "" for l in got]
        with open(README, "w", encoding="utf-8") as f:
            f.write("\n".join(lines))
        print("README.md: examples written from the build")


def repository_files():
    p = subprocess.run(["git", "-C", ROOT, "ls-files"], capture_output=True)
    if p.returncode == 0 and p.stdout:
        return p.stdout.decode().split("\n")[:-1]
    skip = re.compile(r"^(\.git|build[^/]*|.*__pycache__)(/|$)")
    return [os.path.relpath(os.path.join(d, f), ROOT) for d, _, fs in os.walk(ROOT) for f in fs
            if not skip.match(os.path.relpath(os.path.join(d, f), ROOT))]


def check_layout():
    text = open(README, encoding="utf-8").read()
    layout = text[text.index("## Layout"):]
    named = set(re.findall(r"`([^`]+)`", layout))
    for path in repository_files():
        if path.startswith("tests/cases/") or path == "README.md":
            continue
        expect(path in named or os.path.basename(path) in named,
               f"README.md: the Layout section does not name {path}")


def sanitized(bin_dir):
    cache = os.path.join(bin_dir, "CMakeCache.txt")
    return os.path.exists(cache) and "VORLANK_SANITIZE:BOOL=ON" in open(cache).read()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin-dir", required=True)
    ap.add_argument("--update", action="store_true")
    a = ap.parse_args()
    if sanitized(a.bin_dir):
        print("examples skipped: a sanitizer build (the plain build runs them)")
    else:
        run_examples(a.bin_dir, a.update)
    check_layout()
    print(f"{len(failures)} failures")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
