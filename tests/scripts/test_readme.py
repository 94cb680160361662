#!/usr/bin/env python3
"""README.md and docs/ stay true: their examples print what they show, their
links lead somewhere, the README's layout names every wing of the tree.

Examples: each command of README.md and of every docs/*.md shown as "$ ..."
in an indented block that runs vorlank-check or vorlank-design (with the
variables set before it in the same file, such as P=...) runs in one
temporary folder per file, which is also HOME (so vorlank-design's default
store is a fresh one), build/ standing for --bin-dir, and must print the
lines below it. vorlank-design's search shares its time in real seconds, so
of its wheel only the lines that do not hang on the clock are compared: the
first line (instance, size, lower bound), the proved line and the number of
covers. The examples run in the plain build only: under the sanitizers the
greedy run of L(49,6,6,3) alone takes a minute, and they print the same.

  test_readme.py --bin-dir build            check
  test_readme.py --bin-dir build --update   write the build's output into the
                                            blocks of whichever file holds
                                            them (review it with git diff)

Links: every relative link of these files names a file that exists, and an
anchor a heading of it.

Layout: the README's Layout section names every directory under src/, every
top-level folder and every folder of tests/; every path it gives under such a
folder exists, and the files a src/ wing names in parentheses lie in it.
"""
import fnmatch
import glob
import os
import re
import subprocess
import tempfile

from common import arguments, done, expect, sanitized

ROOT = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
README = os.path.join(ROOT, "README.md")


def documents():
    return [README] + sorted(glob.glob(os.path.join(ROOT, "docs", "*.md")))


def examples(lines):
    """(first line index, output start, end index, command, expected output
    lines) of each "    $ command" of a file; a command line ending in | or \\
    goes on."""
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


def run_examples(path, bin_dir, update):
    name = os.path.relpath(path, ROOT)
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    variables, replace = [], []
    with tempfile.TemporaryDirectory() as tmp:
        # vorlank-design's default store lies under the home: one of the
        # folder's own, so that no example reads or fills the real one.
        env = dict(os.environ, HOME=tmp, XDG_DATA_HOME=os.path.join(tmp, ".local", "share"))
        for first, start, end, command, want in examples(lines):
            if re.fullmatch(r"\w+=\S*", command):
                variables.append(command)
                continue
            if "vorlank-check" not in command and "vorlank-design" not in command:
                continue
            script = "\n".join(variables + [re.sub(r"(?<![\w/.])build/", bin_dir + "/", command)])
            p = subprocess.run(["bash", "-c", script], cwd=tmp, capture_output=True, timeout=240,
                               env=env)
            got = p.stdout.decode().split("\n")
            if got and got[-1] == "":
                got.pop()
            replace.append((start, end, got))
            design = "vorlank-design" in command
            if (stable(got) == stable(want)) if design else (got == want):
                continue
            diff = next((j for j in range(max(len(got), len(want)))
                         if (got[j:j + 1] or [None]) != (want[j:j + 1] or [None])), 0)
            expect(update, f"{name} line {first + 1}: `{command}` prints otherwise than "
                   f"{name} shows{' (its stable lines: first, proved, count)' if design else ''}; "
                   f"output line {diff + 1}: {name} {want[diff] if diff < len(want) else None!r}, "
                   f"build {got[diff] if diff < len(got) else None!r} "
                   f"(stderr {p.stderr.decode()[-300:]!r}). If the change is meant, write the "
                   f"build's output into {name} with `python3 tests/scripts/test_readme.py "
                   f"--bin-dir build --update` and review it with git diff.")
    if update and replace:
        for start, end, got in reversed(replace):
            lines[start:end] = ["    " + l if l else "" for l in got]
        with open(path, "w", encoding="utf-8") as f:
            f.write("\n".join(lines))
        print(f"{name}: examples written from the build")


def anchors(text):
    """The anchors of a page's headings, as GitHub makes them."""
    seen, out = {}, set()
    for heading in re.findall(r"^#+ (.*)$", text, re.M):
        slug = re.sub(r"[^\w\- ]", "", heading.strip().lower()).replace(" ", "-")
        n = seen.get(slug, 0)
        seen[slug] = n + 1
        out.add(slug if n == 0 else f"{slug}-{n}")
    return out


def check_links(path):
    name = os.path.relpath(path, ROOT)
    text = open(path, encoding="utf-8").read()
    for target in re.findall(r"\]\(([^)\s]+)\)", text):
        if re.match(r"\w+:", target):
            continue
        file, _, anchor = target.partition("#")
        linked = os.path.normpath(os.path.join(os.path.dirname(path), file)) if file else path
        expect(os.path.exists(linked), f"{name}: the link {target} leads to no file")
        if anchor and os.path.isfile(linked):
            expect(anchor in anchors(open(linked, encoding="utf-8").read()),
                   f"{name}: the link {target} names no heading of {os.path.relpath(linked, ROOT)}")


def repository_files():
    """The files of the tree as git sees them, tracked or new (not ignored)."""
    p = subprocess.run(["git", "-C", ROOT, "ls-files", "--cached", "--others", "--exclude-standard"],
                       capture_output=True)
    if p.returncode == 0 and p.stdout:
        files = p.stdout.decode().split("\n")[:-1]
    else:
        skip = re.compile(r"^(\.git|build[^/]*)(/|$)")
        files = [os.path.relpath(os.path.join(d, f), ROOT) for d, _, fs in os.walk(ROOT) for f in fs
                 if not skip.match(os.path.relpath(os.path.join(d, f), ROOT))]
    return [f for f in files if "__pycache__" not in f and os.path.exists(os.path.join(ROOT, f))]


def folders(files):
    """The folders the Layout must name: every one under src/, every top-level
    one, every one directly in tests/."""
    out = set()
    for path in files:
        parts = path.split("/")[:-1]
        for depth in range(1, len(parts) + 1):
            folder = "/".join(parts[:depth])
            if depth == 1 or parts[0] == "src" or (parts[0] == "tests" and depth == 2):
                out.add(folder)
    return out


def check_layout():
    text = open(README, encoding="utf-8").read()
    layout = text[text.index("## Layout"):].split("\n## ")[0]
    named = set(re.findall(r"`([^`]+)`", layout))
    files = repository_files()
    top = {f.split("/")[0] for f in files if "/" in f}
    for folder in sorted(folders(files)):
        short = folder.rsplit("/", 1)[-1] + "/"
        expect(folder in named or folder + "/" in named or
               (folder.count("/") and not folder.startswith("src/") and short in named),
               f"README.md: the Layout section does not name the folder {folder}/")
    for path in sorted(named):
        if "/" in path and path.split("/")[0] in top | {"src"}:
            expect(glob.glob(os.path.join(ROOT, path)),
                   f"README.md: the Layout section names {path}, which does not exist")
    # The files a src/ wing names in parentheses, by name or stem, lie in it.
    for item in re.split(r"\n(?=- )", layout):
        wing = re.match(r"- `(src/[^`]*)`", item)
        if not wing or not os.path.isdir(os.path.join(ROOT, wing.group(1))):
            continue
        here = os.listdir(os.path.join(ROOT, wing.group(1)))
        for group in re.findall(r"\(([^()]*)\)", item):
            for name in re.findall(r"`([^`]+)`", group):
                expect(any(fnmatch.fnmatch(f, name) or os.path.splitext(f)[0] == name
                           for f in here),
                       f"README.md: the Layout puts {name} in {wing.group(1)}, which holds "
                       f"no such file")


def main():
    a = arguments("--update")
    if sanitized(a.bin_dir):
        print("examples skipped: a sanitizer build (the plain build runs them)")
    else:
        for path in documents():
            run_examples(path, a.bin_dir, a.update)
    for path in documents():
        check_links(path)
    check_layout()
    done()


if __name__ == "__main__":
    main()
