"""Random trees from fixed seeds, checked against a separate model of the rules.

The model walks with Python's own os.listdir/os.stat and tests the whole
joined path, so it shares no shortcut with the program. A failing case names
its seed: rerun with SEEDS=<n> to replay it.
"""
import errno
import os
import random
import stat
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import TreeCase, entries, read  # noqa: E402

SEEDS = [int(s) for s in os.environ.get("SEEDS", "").split(",") if s] or range(60)
NAMES = [b"a.mp3", b"cover.jpg", b"x.jpg.flac", b"list.m3u8", b"old.m3u", b".hidden",
         b"track 01.ogg", b"caf\xc3\xa9.mp3", b"bad\xff\xfe", b"noext", b"art.jpgs",
         b"COVER.JPG", b"p.jpeg", b"line\nbreak", b"cr\rname", b"#hash", b"..dots"]


def build(rng, root):
    """Makes a random tree below root; returns the folders to lock."""
    os.mkdir(root)
    folders, files = [root], []
    for _ in range(rng.randint(1, 25)):
        parent = rng.choice(folders)
        name = rng.choice(NAMES) + b"%d" % rng.randint(0, 9)
        path = parent + b"/" + name
        if os.path.lexists(path):
            continue
        if rng.random() < 0.3 and parent.count(b"/") < 6:
            os.mkdir(path)
            folders.append(path)
        else:
            open(path, "wb").close()
            files.append(path)
    for n in range(rng.randint(0, 4)):
        # Links to folders may point back up the path: loops are part of the game.
        target = rng.choice(folders + files + [b"/nonexistent/x", root + b"/../../outside"])
        os.symlink(target, rng.choice(folders) + b"/ln%d" % n)
    return [f for f in folders[1:] if rng.random() < 0.1]


def escape(path):
    out = b""
    for c in path:
        out += {10: b"\\n", 13: b"\\r"}.get(c, bytes([c]) if c >= 32 and c != 127
                                             else b"\\x%02x" % c)
    return out


def stat_error(path):
    """The errno of stat on path for the user the program runs as, or 0:
    that user cannot search the folders of mode 0 on the way."""
    try:
        os.stat(path)
    except OSError as e:
        return e.errno
    up = os.path.dirname(os.path.realpath(path))
    while up != b"/":
        if stat.S_IMODE(os.stat(up).st_mode) == 0:
            return errno.EACCES
        up = os.path.dirname(up)
    return 0


def model(top):
    """What the rules say for folder text top: (entry lines, error lines)."""
    lines, errors, listed, left_out = [], [], {}, {}

    def walk(path, on_path, linked):
        st = os.stat(path)
        if stat.S_IMODE(st.st_mode) == 0:
            errors.append(b"opendir: Permission denied")
            return
        key = (st.st_dev, st.st_ino)
        keys = [k for k, _ in on_path]
        if key in keys:
            # A loop where a link is on the way round from it.
            loop = linked or any(link for _, link in on_path[keys.index(key) + 1:])
            errors.append(b"tonvelo: " + escape(path) + (
                b": Too many levels of symbolic links" if loop
                else b": folder already on this path, not entered"))
            return
        # Walked once where a link leads there, now or when it was walked,
        # under the first path in the order the folders list; once more
        # where a path that lists its files comes later.
        excluded = b".jpg" in path or b".m3u" in path
        before = [w[key] for w in ((listed, left_out) if excluded else (listed,)) if key in w]
        if before and (linked or any(before)):
            return
        walked = left_out if excluded else listed
        walked[key] = linked
        for name in os.listdir(path):
            joined = path + b"/" + name
            excluded = b".jpg" in joined or b".m3u" in joined
            if b"\n" in name or b"\r" in name:
                if not excluded:
                    errors.append(b"tonvelo: " + escape(joined) + b": line break in name, left out")
                continue
            # A dangling link is listed; one that cannot be followed is said.
            err = stat_error(joined)
            if err not in (0, errno.ENOENT, errno.ENOTDIR):
                if not excluded:
                    errors.append(b"tonvelo: " + escape(joined) + b": " + os.strerror(err).encode())
            elif err == 0 and stat.S_ISDIR(os.stat(joined).st_mode):
                walk(joined, on_path + [(key, linked)], os.path.islink(joined))
            elif not excluded:
                lines.append(joined)

    walk(top, [], False)
    return sorted(lines), sorted(errors)


class RandomTrees(TreeCase):
    def test_random_trees_match_the_model(self):
        self.folder("outside", {"o.mp3": b"", "o.jpg": b""})
        for seed in SEEDS:
            with self.subTest(seed=seed):
                cwd = self.folder("run%d" % seed, mode=0o777).encode()
                # Children first: below a locked folder only root could.
                for f in sorted(build(random.Random(seed), cwd + b"/t"), key=len, reverse=True):
                    os.chmod(f, 0)
                os.chdir(cwd)
                try:
                    want_lines, want_errors = model(b"t")
                finally:
                    os.chdir(self.tmp)
                rc, _, err = self.run_unprivileged([b"t"], cwd)
                self.assertEqual(rc, 0)
                self.assertEqual(entries(read(cwd + b"/playlist.m3u")), want_lines)
                self.assertEqual(sorted(err.splitlines()), want_errors)


if __name__ == "__main__":
    unittest.main()
