"""Runs the built tonvelo on temporary trees and reads what it left."""
import os
import re
import shutil
import subprocess
import tempfile
import unittest

TONVELO = os.environ.get("TONVELO", "")
# The banner names the project's version, as CMakeLists.txt gives it.
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)),
                       "..", "..", "CMakeLists.txt")) as _f:
    VERSION = re.search(r"project\(tonvelo VERSION ([0-9.]+)", _f.read()).group(1)
BANNER = (b"Tonvelo " + VERSION.encode() + b" by Brennovald\n"
          b"Writes a shuffled playlist.m3u of every file below a folder.\n")
HEADER = b"#EXTM3U\n#created with Tonvelo 0.1 by Brennovald\n"
NOTICE = b"The path is invalid! take the current one"
USAGE = b"Usage: program folder\n"
IS_ROOT = hasattr(os, "geteuid") and os.geteuid() == 0


def run(args, cwd, user=False, preexec=None, program=None, env=None, stdout=None):
    """Runs tonvelo with args in cwd; user=True drops root privileges, env
    adds to the environment, stdout replaces the captured one."""
    cmd = [program or TONVELO] + list(args)
    if user and IS_ROOT:
        cmd = ["setpriv", "--reuid=nobody", "--regid=nogroup",
               "--clear-groups", "--"] + cmd
    p = subprocess.run(cmd, cwd=cwd, preexec_fn=preexec, timeout=120,
                       env=dict(os.environ, **env) if env else None,
                       stdout=stdout or subprocess.PIPE, stderr=subprocess.PIPE)
    return p.returncode, p.stdout or b"", p.stderr


def make_tree(root, layout):
    """layout maps relative paths to file contents (bytes) or None for a folder."""
    for rel, content in layout.items():
        path = os.path.join(root, rel)
        if content is None:
            os.makedirs(path, exist_ok=True)
        else:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(content)


def entries(data):
    """Checks the header and returns the sorted entry lines of a playlist."""
    assert data.startswith(HEADER), data[:80]
    body = data[len(HEADER):]
    assert body == b"" or body.endswith(b"\n"), body[-80:]
    return sorted(body.split(b"\n")[:-1])


def read(path):
    with open(path, "rb") as f:
        return f.read()


class TreeCase(unittest.TestCase):
    """Gives each test a fresh temporary folder that others may enter."""

    def setUp(self):
        if not TONVELO:
            self.skipTest("TONVELO names no program")
        self.tmp = os.path.realpath(tempfile.mkdtemp(prefix="tonvelo-"))
        os.chmod(self.tmp, 0o755)
        self.addCleanup(self.cleanup)

    def cleanup(self):
        for root, dirs, _ in os.walk(self.tmp):
            for d in dirs:
                p = os.path.join(root, d)
                if not os.path.islink(p):
                    try:
                        os.chmod(p, 0o755)
                    except OSError:  # past the path length limit
                        pass
        shutil.rmtree(self.tmp)

    def path(self, *parts):
        return os.path.join(self.tmp, *parts)

    def folder(self, name, layout=None, mode=0o755):
        p = self.path(name)
        os.makedirs(p, exist_ok=True)
        make_tree(p, layout or {})
        os.chmod(p, mode)
        return p

    def program_for_user(self):
        """A copy of the program that an unprivileged user can run."""
        bindir = self.folder("bin")
        dest = os.path.join(bindir, os.path.basename(TONVELO))
        shutil.copy2(TONVELO, dest)
        os.chmod(dest, 0o755)
        return dest
