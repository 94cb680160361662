#!/usr/bin/env python3
"""The install step and the Debian package give working commands.

--bin-dir is the build folder. cmake --install into a temporary prefix must
put the three programs in PREFIX/bin and their pages in PREFIX/share/man/man1,
nothing else; the installed programs run from there (a greedy wheel proved,
a designed wheel proved, --version the version of CMakeLists.txt). Then the
package as make package builds it: the same six files under /usr, the
programs run from the unpacked package, and every shared library a program
needs belongs to a package among its dependencies (CBC's where it is linked).
"""
import gzip
import os
import re
import shutil
import subprocess
import tempfile

from common import expect, main, proves

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
PROGRAMS = ["vorlank", "vorlank-check", "vorlank-design"]
FILES = sorted([f"bin/{p}" for p in PROGRAMS] + [f"share/man/man1/{p}.1.gz" for p in PROGRAMS])


def run(args, stdin=b"", **kw):
    p = subprocess.run(args, input=stdin, capture_output=True, timeout=120, **kw)
    return p.returncode, p.stdout.decode(), p.stderr.decode()


def files_under(top):
    return sorted(os.path.relpath(os.path.join(d, f), top)
                  for d, _, fs in os.walk(top) for f in fs)


def version():
    text = open(os.path.join(ROOT, "CMakeLists.txt")).read()
    return re.search(r"project\(vorlank VERSION ([0-9.]+)", text).group(1)


def works(bin_dir, where):
    """The programs in bin_dir run: a greedy wheel and a designed one, each proved."""
    prog = {p: os.path.join(bin_dir, p) for p in PROGRAMS}
    _, greedy, _ = run([prog["vorlank"], "7", "3", "3", "2"], b"2\n")
    status, out, err = run([prog["vorlank-check"], "7", "3", "3", "2"], greedy.encode())
    expect(status == 0 and out.startswith("covers: 4\ncovered: yes"),
           f"{where}: the greedy wheel of L(7,3,3,2) checks as {status} {out!r} {err!r}")
    status, wheel, err = run([prog["vorlank-design"], "--moves", "1000", "10", "2", "6", "2"])
    expect(status == 0 and proves(bin_dir, [10, 2, 6, 2], wheel),
           f"{where}: vorlank-design: status {status}, {err!r}, a wheel vorlank-check refuses")
    for p in ["vorlank-check", "vorlank-design"]:
        status, out, _ = run([prog[p], "--version"])
        want = f"{p} (vorlank) {version()}\n"
        expect(status == 0 and out == want, f"{where}: {p} --version: {status} {out!r}, not {want!r}")


def install(build, tmp):
    prefix = os.path.join(tmp, "prefix")
    status, _, err = run(["cmake", "--install", build, "--prefix", prefix])
    expect(status == 0, f"cmake --install: status {status}, {err}")
    got = files_under(prefix)
    expect(got == FILES, f"cmake --install put {got}, expected {FILES}")
    works(os.path.join(prefix, "bin"), "installed")
    for p in PROGRAMS:
        page = os.path.join(prefix, "share/man/man1", p + ".1.gz")
        if os.path.exists(page):
            with gzip.open(page) as f, open(os.path.join(build, "man", p + ".1"), "rb") as g:
                expect(f.read() == g.read(), f"{page} is not the build's man/{p}.1")


def needed_packages(binary):
    """The Debian packages of the shared libraries a program names (not those
    they load in turn: dpkg-shlibdeps looks no further either)."""
    _, dynamic, _ = run(["readelf", "-d", binary])
    _, loads, _ = run(["ldd", binary])
    packages = set()
    for name in re.findall(r"\(NEEDED\).*\[(.+)\]", dynamic):
        path = re.search(rf"^\s*{re.escape(name)} => (/\S+)", loads, re.M)
        for candidate in [path.group(1), os.path.realpath(path.group(1))] if path else []:
            status, owner, _ = run(["dpkg", "-S", candidate])
            if status == 0:
                packages.add(owner.split(":")[0])
                break
        else:
            expect(False, f"{binary}: no package holds {name}")
    return packages


def package(build, tmp):
    missing = [t for t in ["cpack", "dpkg-deb", "dpkg-shlibdeps", "file"] if not shutil.which(t)]
    if missing:
        print(f"skipped the package: no {', '.join(missing)} (make deps installs them)")
        return
    out_dir = os.path.join(tmp, "package")
    status, out, err = run(["cpack", "--config", os.path.join(build, "CPackConfig.cmake"),
                            "-B", out_dir])
    debs = [f for f in os.listdir(out_dir) if f.endswith(".deb")] if status == 0 else []
    expect(len(debs) == 1, f"cpack: status {status}, {debs}, {out}{err}")
    if len(debs) != 1:
        return
    deb = os.path.join(out_dir, debs[0])
    _, listing, _ = run(["dpkg-deb", "-c", deb])
    got = sorted(l.split()[-1][len("./usr/"):] for l in listing.splitlines() if l[0] != "d")
    expect(got == FILES, f"{debs[0]} holds {got}, expected {FILES} under /usr")
    _, depends, _ = run(["dpkg-deb", "-f", deb, "Depends"])
    named = {d.split()[0] for d in depends.split(", ") if d.strip()}
    root = os.path.join(tmp, "unpacked")
    run(["dpkg-deb", "-x", deb, root])
    works(os.path.join(root, "usr", "bin"), "packaged")
    for p in PROGRAMS:
        lacking = needed_packages(os.path.join(root, "usr", "bin", p)) - named
        expect(not lacking, f"{debs[0]}: {p} needs {sorted(lacking)}, not in Depends: {depends}")


def install_and_package(build):
    with tempfile.TemporaryDirectory() as tmp:
        install(build, tmp)
        package(build, tmp)


if __name__ == "__main__":
    main(install_and_package)
