"""Runs the built tonvelo on temporary trees and reads what it left.

TONVELO names the program, TONVELO_WRAPPER what runs it where it cannot run
by itself (Wine, for the Windows program; qemu-user, for another
architecture's). The Windows program writes in text mode: its lines, on
standard output and error as in the playlist, end in CR LF.
"""
import collections
import os
import re
import select
import shlex
import shutil
import stat
import subprocess
import tempfile
import time
import unittest

TONVELO = os.environ.get("TONVELO", "")
WRAPPER = shlex.split(os.environ.get("TONVELO_WRAPPER", ""))
EOL = b"\r\n" if TONVELO.lower().endswith(".exe") else b"\n"
# A Linux program under a wrapper runs under an emulator, which has reasons
# of its own to fail a case: those cases skip, and say so.
EMULATED = bool(WRAPPER) and EOL == b"\n"
UNDER_EMULATOR = "under an emulator, "


def shim(variable, name):
    """The library variable names, to preload, and why a case that needs it
    skips: an emulator's own loader would be handed it too, and refuse it
    aloud."""
    if EMULATED:
        return "", UNDER_EMULATOR + "whose own loader would be handed the %s shim" % name
    return os.environ.get(variable, ""), "needs the %s shim" % name


def read_all(fd, deadline, until=None):
    """What fd gives until its end, or until what it gave ends in until;
    fails with what it gave if more does not come by deadline (of
    time.monotonic())."""
    got = b""
    while until is None or not got.endswith(until):
        if not select.select([fd], [], [], max(0, deadline - time.monotonic()))[0]:
            raise AssertionError("nothing more in time after %r" % got)
        try:
            chunk = os.read(fd, 4096)
        except OSError:  # a terminal whose other side is gone
            break
        if not chunk:
            break
        got += chunk
    return got


def lined(text):
    """text with the program's own line ends."""
    return text.replace(b"\n", EOL)


# The banner and the credit line name the project's version, as
# CMakeLists.txt gives it.
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)),
                       "..", "..", "CMakeLists.txt")) as _f:
    VERSION = re.search(r"project\(tonvelo VERSION ([0-9.]+)", _f.read()).group(1)
BANNER = lined(b"Tonvelo " + VERSION.encode() + b" by Brennovald\n"
               b"Writes a shuffled playlist.m3u of every file below a folder.\n")
HEADER = lined(b"#EXTM3U\n#created with Tonvelo " + VERSION.encode() + b" by Brennovald\n")
NOTICE = b"The path is invalid! take the current one"
USAGE = lined(b"Usage: program folder\n")
# What a run that went well says.
OK, OK_NOTICE, OK_USAGE = (0, BANNER, b""), (0, BANNER + NOTICE, b""), (0, BANNER + USAGE, b"")


def fell_back(first, why, cwd):
    """The line that says the playlist went to cwd instead of first."""
    return lined(b"tonvelo: " + first.encode() + b": " + why + b"; written to " +
                 cwd.encode() + b"/playlist.m3u instead\n")
IS_ROOT = hasattr(os, "geteuid") and os.geteuid() == 0


def winpath(path):
    """path as Wine shows it to a Windows program, on drive Z:."""
    return "Z:" + path.replace("/", "\\")


def filled(text, root):
    """text, or each of a tuple, with root for "{tmp}" and root as a Windows
    program sees it for "{win}"."""
    if isinstance(text, tuple):
        return tuple(filled(t, root) for t in text)
    if isinstance(text, bytes):
        return filled(text.decode("latin-1"), root).encode("latin-1")
    if isinstance(text, str):
        return text.replace("{tmp}", root).replace("{win}", winpath(root))
    return text


# A table row: what is typed in the folder cwd of a tree, and what comes of
# it: the status, output and errors, and the playlist written at lands (None:
# none is) with its entries, or a pattern their lines match. Nothing else
# below the tree changes. modes are given to its paths, and owners to nobody
# where the suite runs as root; the user runs it as run_unprivileged does,
# with preexec and env as run_command takes them; skip says why the row
# cannot run.
Typed = collections.namedtuple(
    "Typed", "tree args want lands entries cwd modes owners user preexec env skip",
    defaults=(None, (), "cwd", {}, (), False, None, None, None))


def command(args, program=None):
    """Runs program (the built one if None) with args, through the wrapper."""
    return WRAPPER + [program or TONVELO] + list(args)


def run_command(cmd, cwd, preexec=None, env=None, stdout=None):
    """Runs cmd in cwd; env adds to the environment, stdout replaces the
    captured one. Gives the status, output and errors."""
    # Captured in files, not pipes: what the wrapper leaves running (Wine's
    # own services) would hold a pipe open long after the program ends.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        p = subprocess.run(cmd, cwd=cwd, preexec_fn=preexec, timeout=120,
                           env=dict(os.environ, **env) if env else None,
                           stdout=stdout or out, stderr=err)
        out.seek(0)
        err.seek(0)
        return p.returncode, b"" if stdout else out.read(), err.read()


def run(args, cwd, program=None, **kw):
    """Runs program (the built one if None) with args, as run_command does."""
    return run_command(command(args, program), cwd, **kw)


FIFO, FULL = "a FIFO", "a device as /dev/full"


def make_tree(root, layout):
    """layout maps relative paths to file contents (bytes), None for a
    folder, FIFO or FULL, or the text a symbolic link holds."""
    for rel, content in layout.items():
        path = os.path.join(root, rel)
        os.makedirs(path if content is None else os.path.dirname(path), exist_ok=True)
        if content in (FIFO, FULL):
            os.mknod(path, 0o666 | (stat.S_IFIFO if content == FIFO else stat.S_IFCHR),
                     os.makedev(1, 7))
        elif isinstance(content, str):
            os.symlink(content, path)
        elif content is not None:
            with open(path, "wb") as f:
                f.write(content)


def snapshot(root):
    """What a run must leave as it was below root: each name's mode and
    owner, a file's bytes and a link's text."""
    seen = {}
    for folder, dirs, files in os.walk(root):
        for path in (os.path.join(folder, n) for n in dirs + files):
            st = os.lstat(path)
            held = read(path) if stat.S_ISREG(st.st_mode) else \
                os.readlink(path) if stat.S_ISLNK(st.st_mode) else None
            seen[os.path.relpath(path, root)] = (st.st_mode, st.st_uid, st.st_gid, held)
    return seen


def open_deep(path, make=False):
    """A descriptor of the folder at absolute path, however long: each
    folder is opened in the one above it, so paths past PATH_MAX can be
    reached. make=True makes the folders missing on the way."""
    fd = os.open("/", os.O_RDONLY | os.O_DIRECTORY)
    for name in filter(None, path.split("/")):
        if make:
            try:
                os.mkdir(name, dir_fd=fd)
            except FileExistsError:
                pass
        nfd = os.open(name, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
        os.close(fd)
        fd = nfd
    return fd


def make_deep(path, files=()):
    """Makes the folder at path, however long, with the empty files named."""
    fd = open_deep(path, make=True)
    for name in files:
        os.close(os.open(name, os.O_CREAT | os.O_WRONLY, 0o644, dir_fd=fd))
    os.close(fd)


def entries(data):
    """Checks the header and the line ends; returns the sorted entry lines."""
    assert data.startswith(HEADER), data[:80]
    body = data[len(HEADER):]
    assert body == b"" or body.endswith(EOL), body[-80:]
    assert b"\n" not in body.replace(EOL, b""), body[:200]
    return sorted(body.split(EOL)[:-1])


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
        self.user_program = None

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
        if self.user_program is None:
            bindir = self.folder("bin")
            self.user_program = os.path.join(bindir, os.path.basename(TONVELO))
            shutil.copy2(TONVELO, self.user_program)
            os.chmod(self.user_program, 0o755)
        return self.user_program

    def run_unprivileged(self, args, cwd, groups=None, **kw):
        """Runs the program as a user whom file modes bind: the one running
        the suite, or nobody (with no groups but those given) for root."""
        if not IS_ROOT:
            return run(args, cwd, **kw)
        who = ["--reuid=nobody", "--regid=nogroup"]
        who += ["--groups=" + groups] if groups else ["--clear-groups"]
        return run_command(["setpriv"] + who + ["--"] + command(args, self.program_for_user()),
                           cwd, **kw)

    def listed(self, got, playlist, want=OK, msg=None):
        """The sorted entries of the playlist at playlist (below the
        temporary folder, or absolute), once got, what a run gave, is want."""
        self.assertEqual(got, want, msg)
        return entries(read(self.path(playlist)))

    def check_typed(self, rows):
        """Runs each row of a table of Typed in a folder of its own, which
        "{tmp}" stands for in what is typed and said."""
        for n, row in enumerate(rows):
            with self.subTest(n, args=[a[:40] for a in row.args]):
                if row.skip:
                    self.skipTest(row.skip)
                root = self.path(str(n))
                self.folder(root, {p: filled(c, root) for p, c in row.tree.items()})
                cwd = self.folder(os.path.join(str(n), row.cwd))
                for rel, mode in row.modes.items():
                    os.chmod(os.path.join(root, rel), mode)
                for rel in row.owners if IS_ROOT else ():
                    os.lchown(os.path.join(root, rel), 65534, 65534)
                before = snapshot(root)
                # A FIFO has a reader, so that a writer would not fail to open it.
                readers = [os.open(os.path.join(root, p), os.O_RDONLY | os.O_NONBLOCK)
                           for p, st in before.items() if stat.S_ISFIFO(st[0])]
                for r in readers:
                    self.addCleanup(os.close, r)
                got = (self.run_unprivileged if row.user else run)(
                    [filled(a, root) for a in row.args], cwd, preexec=row.preexec, env=row.env)
                self.assertEqual(got, filled(row.want, root))
                after = snapshot(root)
                if row.lands:
                    got = entries(read(os.path.join(root, row.lands)))
                    if isinstance(row.entries, re.Pattern):  # for the lines, sorted
                        self.assertRegex(b"\n".join(got), row.entries)
                    else:
                        self.assertEqual(got, sorted(filled(e, root) for e in row.entries))
                    before.pop(row.lands, None)
                    del after[row.lands]
                self.assertEqual(after, before)
                for r in readers:  # no writer came, or it would have a line
                    self.assertEqual(os.read(r, 100), b"")
