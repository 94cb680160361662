"""What the scripts share: failures told as they come, the programs run from
--bin-dir, a wheel's covers and its proof, and the end of a script."""
import argparse
import os
import subprocess
import sys

failures = []


def expect(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def run(bin_dir, prog, args, stdin=b"", timeout=120, **kw):
    """(status, stdout, stderr) of bin_dir/prog on args."""
    p = subprocess.run([os.path.join(bin_dir, prog)] + [str(a) for a in args], input=stdin,
                       capture_output=True, timeout=timeout, **kw)
    return p.returncode, p.stdout.decode(), p.stderr.decode()


def env_with(**values):
    """The environment with no store of the user's: HOME and XDG_DATA_HOME as given."""
    env = {k: v for k, v in os.environ.items() if k not in ("XDG_DATA_HOME", "HOME")}
    env.update(values)
    return env


def size(text):
    """The covers of a printed wheel."""
    return sum(1 for l in text.splitlines() if l and not l.startswith("#"))


def proves(bin_dir, inst, text):
    """Whether vorlank-check finds text a wheel for inst."""
    return run(bin_dir, "vorlank-check", inst, text.encode())[0] == 0


def sanitized(bin_dir):
    cache = os.path.join(bin_dir, "CMakeCache.txt")
    return os.path.exists(cache) and "VORLANK_SANITIZE:BOOL=ON" in open(cache).read()


def finish(p, timeout):
    """The output of a run, which must end within `timeout` seconds; one
    still running then is killed, so that no test leaves a search behind."""
    try:
        return p.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        p.kill()
        expect(False, f"{p.args[1:]}: still running after {timeout} s")
        return p.communicate()


def arguments(*flags):
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin-dir", required=True)
    for flag in flags:
        ap.add_argument(flag, action="store_true")
    a = ap.parse_args()
    a.bin_dir = os.path.abspath(a.bin_dir)
    return a


def done():
    print(f"{len(failures)} failures")
    sys.exit(1 if failures else 0)


def main(*parts):
    """Each part on --bin-dir, then the verdict."""
    bin_dir = arguments().bin_dir
    for part in parts:
        part(bin_dir)
    done()
