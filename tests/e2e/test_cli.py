"""The command line, where the playlist lands, exclusions and write faults."""
import errno
import os
import resource
import signal
import stat
import struct
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import (BANNER, EMULATED, FIFO, FULL, HEADER, IS_ROOT, NOTICE, OK,  # noqa: E402
                     OK_NOTICE, OK_USAGE, UNDER_EMULATOR, USAGE, TreeCase, Typed, command,
                     entries, fell_back, make_deep, open_deep, read, run, run_command, shim)

ALBUM = {"a.mp3": b"1", "b.flac": b"2", "sub/c.ogg": b"3"}
ACL = "system.posix_acl_access"
ANY = 0xFFFFFFFF  # the id of an entry that names no user or group
OLD = HEADER + b"/old/one.mp3\n"
LINK_REFUSED = b"symbolic link of another user, not followed"
SPECIAL_REFUSED = b"FIFO or device of another user, not written to"
SHARED_REFUSED = b"file of another user in a shared folder, not replaced"
FAULTS, NO_FAULTS = shim("TONVELO_WRITE_FAULTS", "write-fault")
SANITIZED = os.environ.get("TONVELO_SANITIZED", "0") not in ("0", "")
# u::rw- u:nobody:rw- g::r-- m::rw- o::---, as setfacl -m u:nobody:rw gives
# it, and as the kernel stores an access ACL: (tag, permissions, id) each.
NOBODY_RW = struct.pack("<I", 2) + b"".join(struct.pack("<HHI", *e) for e in (
    (1, 6, ANY), (2, 6, 65534), (4, 4, ANY), (0x10, 6, ANY), (0x20, 0, ANY)))


def faults(asan="verify_asan_link_order=0", **settings):
    """The environment that preloads the write-fault shim with settings."""
    return dict(settings, LD_PRELOAD=FAULTS, ASAN_OPTIONS=asan)


# A new file unnamed until whole, and named all along where the system has
# no unnamed files.
BOTH_WAYS = [None] + [faults(TONVELO_NO_TMPFILE="1")] * bool(FAULTS)


def full_output():
    os.dup2(os.open("/dev/full", os.O_WRONLY), 1)


MUSIC = {"music/" + n: c for n, c in ALBUM.items()}
IN_MUSIC = [b"music/" + n.encode() for n in ALBUM]
AT_MUSIC = [b"{tmp}/" + e for e in IN_MUSIC]
OPTIONS = {"cwd/x.mp3": b"", "cwd/--help/y.mp3": b"", "cwd/-f/z.mp3": b""}
MISSING = {"cwd/a.mp3": b"", "cwd/d/b.mp3": b""}
MISTYPED = {"cwd/a.mp3": b"", "cwd/playlist.m3u": OLD, "cwd/-f/b.mp3": b""}
UNOPENED = {"cwd/song.mp3": b"x", "cwd/playlist.m3u": OLD, "cwd/fifo": FIFO, "cwd/loop": "loop",
            "cwd/empty": None}
# The rules look at the whole joined path, and judge a followed folder
# alike; one also reached by a path that lists it is listed, whichever path
# the folder lists first (each made in both orders, for the file systems
# that list in that order).
JUDGED = {"m/" + n: b"" for n in (
    "cover.jpg", "x.jpg.mp3", "list.m3u8", "old.m3u", "COVER.JPG", "photo.jpeg", ".hidden",
    "README", "notes.txt", "art.jpgs/inner.mp3", "art.jpgs/deep/x.ogg", "pl.m3u.d/y.mp3",
    "ok/z.mp3")}
JUDGED.update({"m/empty": None, "elsewhere/e.mp3": b"", "m/link.jpg": "{tmp}/elsewhere"})
for i in range(12):
    made = [("m/d%d/z.mp3" % i, b""), ("m/i%d.jpg" % i, "d%d" % i)]
    JUDGED.update(made if i % 2 else made[::-1])
NO_FULL = None if os.path.exists("/dev/full") else "needs /dev/full"
NOT_ROOT = None if IS_ROOT else "needs root to run as another user"

COMMAND_LINE = [
    # No folder named: the usage, and nothing written; help and the version
    # need none, and exit 2 where they cannot be written.
    *(Typed({}, args, (1, BANNER + USAGE, b"")) for args in ([], ["--"])),
    *(Typed({"cwd/x.mp3": b""}, [arg], want)
      for arg, want in (("--help", OK_USAGE), ("-h", OK_USAGE), ("--version", OK))),
    *(Typed({}, [arg], (2, b"", b"tonvelo: standard output: " + why + b"\n"),
            preexec=into, skip=NO_FULL)
      for arg in ("--help", "--version") for into, why in (
          (full_output, b"No space left on device"),
          (lambda: os.close(1), b"Bad file descriptor"))),
    # A scan's banner is decoration: the playlist is what counts.
    Typed(MUSIC, ["music"], (0, b"", b""), "playlist.m3u", IN_MUSIC, cwd=".",
          preexec=full_output, skip=NO_FULL),
    # A folder named like an option is still reachable, and so is one after
    # "--"; arguments after the folder are ignored.
    Typed(OPTIONS, ["./--help"], OK, "cwd/playlist.m3u", [b"./--help/y.mp3"]),
    Typed(OPTIONS, ["--", "--help"], OK, "cwd/playlist.m3u", [b"--help/y.mp3"]),
    Typed(OPTIONS, ["--", "-f", "x"], OK, "cwd/playlist.m3u", [b"-f/z.mp3"]),
    Typed(MUSIC, ["{tmp}/music", "extra", "--help"], OK, "music/playlist.m3u", AT_MUSIC, cwd="."),
    # A missing or empty name: the current folder is scanned, after the notice.
    *(Typed(MISSING, [arg], OK_NOTICE, "cwd/playlist.m3u",
            [b"{tmp}/cwd/a.mp3", b"{tmp}/cwd/d/b.mp3"])
      for arg in ("no-such-folder", "", "a.mp3/x", "n" * 5000)),
    # A folder that cannot be reached is no missing one; one read but not
    # entered is reported, and nothing stands in for it.
    Typed({"private/" + n: c for n, c in MUSIC.items()}, ["../private/music"],
          (2, BANNER, b"opendir: Permission denied\n"), cwd="open",
          modes={"private": 0o700, "open": 0o777}, user=True, skip=NOT_ROOT),
    Typed({"music/a.mp3": b"", "music/sub/z.mp3": b"", "cwd/sub/w.mp3": b""}, ["../music"],
          (0, BANNER, b"opendir: Permission denied\n"), "cwd/playlist.m3u", [b"../music/a.mp3"],
          modes={"music": 0o744, "cwd": 0o777}, user=True, skip=NOT_ROOT),
    # One that cannot be opened: nothing written, exit 2. One that opens and
    # holds nothing still gets its bare playlist.
    *(Typed(UNOPENED, [arg], (2, BANNER, b"opendir: " + why + b"\n")) for arg, why in (
        ("song.mp3", b"Not a directory"), ("{tmp}/cwd/song.mp3", b"Not a directory"),
        ("fifo", b"Not a directory"), ("loop", b"Too many levels of symbolic links"))),
    Typed(UNOPENED, ["empty"], OK, "cwd/playlist.m3u", []),
    # A mistyped option: the usage, and nothing scanned or written. A folder
    # of such a name is still scanned, and after "--" any name is a folder:
    # one that names nothing gives the notice.
    *(Typed(MISTYPED, [arg, "music"], (1, BANNER + USAGE, b"tonvelo: " + arg.encode() +
                                       b": unknown option\n"))
      for arg in ("-v", "--verison", "-x", "-")),
    Typed(MISTYPED, ["-f"], OK, "cwd/playlist.m3u", [b"-f/b.mp3"]),
    *(Typed(MISTYPED, ["--", arg], OK_NOTICE, "cwd/playlist.m3u",
            [b"{tmp}/cwd/-f/b.mp3", b"{tmp}/cwd/a.mp3"]) for arg in ("-v", "--version")),
    # The playlist of an absolute folder lands in it, its entries with the
    # separators as typed; that of a relative one in the current folder.
    Typed(MUSIC, ["{tmp}/music//"], OK, "music/playlist.m3u",
          [e.replace(b"music/", b"music//") for e in AT_MUSIC]),
    Typed(MUSIC, ["music/"], OK, "playlist.m3u", IN_MUSIC, cwd="."),
    # Leftovers of earlier runs never move it.
    *(Typed(dict(MUSIC, **{"music/playlist.m3u": OLD},
                 **{"music/playlist.m3u.tmp%d" % i: b"" for i in range(100)}), [typed],
            OK, lands, want, cwd=cwd) for typed, cwd, lands, want in (
                ("{tmp}/music", "cwd", "music/playlist.m3u", AT_MUSIC),
                ("music", ".", "playlist.m3u", IN_MUSIC))),
    # A folder whose text holds ".jpg" leaves everything out.
    Typed({"a.jpg/song.mp3": b"", "a.jpg/d/t.mp3": b""}, ["a.jpg"], OK, "playlist.m3u", [],
          cwd="."),
    Typed(JUDGED, ["m"], OK, "playlist.m3u", [b"m/.hidden", b"m/COVER.JPG", b"m/README",
                                              b"m/notes.txt", b"m/ok/z.mp3", b"m/photo.jpeg"] +
          [b"m/d%d/z.mp3" % i for i in range(12)], cwd="."),
    # A playlist the user may write is written in place, in a folder they
    # may not write, also where the old one is longer than the new.
    Typed(dict(MUSIC, **{"music/playlist.m3u": OLD + b"/old/two.mp3\n" * 50}), ["{tmp}/music"],
          OK, "music/playlist.m3u", AT_MUSIC, cwd=".",
          modes={"music/playlist.m3u": 0o666, "music": 0o555}, user=True),
    # A full disk: exit 2, and a device is written to, not replaced.
    Typed(dict(MUSIC, **{"full": FULL, "music/playlist.m3u": "{tmp}/full"}), ["{tmp}/music"],
          (2, BANNER, b"tonvelo: {tmp}/music/playlist.m3u: No space left on device\n"),
          cwd=".", skip=None if IS_ROOT else "makes a device node"),
]


class CommandLine(TreeCase):
    def test_what_is_typed_and_what_comes_of_it(self):
        self.check_typed(COMMAND_LINE)

    @unittest.skipIf(EMULATED, UNDER_EMULATOR + "whose -L prefix fails a longer current directory")
    def test_a_current_folder_too_long_to_scan_is_told(self):
        # One longer than getcwd's first 4096 bytes is had whole, to be told
        # too long to scan.
        deep = self.path(*["d" * 200] * 21)
        fd = open_deep(deep, make=True)
        self.addCleanup(os.close, fd)
        self.assertEqual(run(["missing"], self.tmp, preexec=lambda: os.fchdir(fd)),
                         (2, BANNER + NOTICE, b"tonvelo: " + deep.encode() +
                          b": File name too long\n"))

    def test_a_vanished_reader_of_the_banner_costs_nothing(self):
        music = self.folder("music", ALBUM)
        r, w = os.pipe()
        os.close(r)
        try:
            got = run([music], self.tmp, stdout=w)
        finally:
            os.close(w)
        self.assertEqual(len(self.listed(got, "music/playlist.m3u", (0, b"", b""))), 3)


class WhereItLands(TreeCase):
    def test_a_new_playlist_is_readable_by_others(self):
        # A new playlist is readable by a player that others run, however
        # it was made.
        self.folder("music", ALBUM)
        for env in BOTH_WAYS:
            self.assertEqual(run(["music"], self.tmp, env=env, preexec=lambda: os.umask(0o022))[0], 0)
            self.assertEqual(stat.S_IMODE(os.stat(self.path("playlist.m3u")).st_mode), 0o644)
            os.remove(self.path("playlist.m3u"))

    def test_order_changes_between_runs(self):
        music = self.folder("music", {"%02d.mp3" % i: b"" for i in range(30)})
        seen = set()
        for _ in range(3):
            run([music], self.tmp)
            seen.add(read(os.path.join(music, "playlist.m3u")))
        self.assertGreater(len(seen), 1)


NO_OTHERS = None if IS_ROOT else "needs root to give links and files to another user"
PLACE, TO_CWD = "{tmp}/music/playlist.m3u", "cwd/playlist.m3u"
# A sticky folder anyone may write in, a list elsewhere and a key no
# co-user may read; a co-user's folder, and a file only root may read.
SHARED = dict(MUSIC, **{"lists/mine.m3u": OLD, "keys/key": b"secret\n", "private/a.mp3": b""})
SHARED_MODES = {"music": 0o1777, "keys": 0o700, "private": 0o700}
BOBS = {"bob/m1/song.mp3": b"", "bob/mine.m3u": OLD, "root-only/decoy": b"root's\n"}
BOBS_OWNERS = ("bob", "bob/m1", "bob/mine.m3u", "bob/m1/playlist.m3u")
IN_M1 = [b"{tmp}/bob/m1/song.mp3"]


def refused(reason):
    """The line that says what stopped the run in the playlist's folder."""
    return (2, BANNER, b"tonvelo: playlist.m3u: " + reason + b"\n")


# Where the playlist cannot go, it goes to the current folder instead, and
# the line says why; where that is the same folder, the run fails. Where it
# may go, it does.
FALLBACK = [
    # Neither where the user may not write, nor where a folder has its
    # name; the current folder is shown as any other path, and reached, as
    # it is held, where its path cannot be searched.
    *(Typed(dict(MUSIC, **tree), ["{tmp}/music"],
            (0, BANNER, fell_back(PLACE, why, "{tmp}/private/c\\x1b[2Jwd")),
            "private/c\x1b[2Jwd/playlist.m3u", AT_MUSIC, cwd="private/c\x1b[2Jwd",
            modes=dict(modes, **{"private/c\x1b[2Jwd": 0o777, "private": 0o700}), user=True)
      for tree, modes, why in (({}, {"music": 0o555}, b"Permission denied"),
                               ({"music/playlist.m3u": None}, {}, b"Is a directory"))),
    # Nor over a playlist the user may not write.
    Typed(dict(MUSIC, **{"music/playlist.m3u": OLD}), ["{tmp}/music"],
          (0, BANNER, fell_back(PLACE, b"Permission denied", "{tmp}/cwd")), TO_CWD, AT_MUSIC,
          modes={"music": 0o777, "music/playlist.m3u": 0o444, "cwd": 0o777},
          owners=["music/playlist.m3u"], user=True),
    # Nowhere to write: each place with its own reason.
    Typed(dict(MUSIC, **{"music/playlist.m3u": None}), ["{tmp}/music/"],
          (2, BANNER, b"tonvelo: " + PLACE.encode() + b": Is a directory\n"
           b"tonvelo: playlist.m3u: Permission denied\n"),
          modes={"music": 0o555, "cwd": 0o555}, user=True),
    # In a shared folder, root refuses a co-user's links, FIFOs and devices,
    # and the runner's own link to a co-user's link: each link is judged.
    *(Typed(dict(SHARED, **{"music/playlist.m3u": made, "lists/theirs.m3u": "{tmp}/keys/key"}),
            ["{tmp}/music"], (0, BANNER, fell_back(first, reason, "{tmp}/cwd")), TO_CWD, AT_MUSIC,
            modes=SHARED_MODES, owners=owners + ["lists/theirs.m3u"], skip=NO_OTHERS)
      for made, owners, first, reason in (
          ("{tmp}/keys/key", ["music/playlist.m3u"], PLACE, LINK_REFUSED),
          ("../keys/new.sh", ["music/playlist.m3u"], PLACE, LINK_REFUSED),
          (FIFO, ["music/playlist.m3u"], PLACE, SPECIAL_REFUSED),
          (FULL, ["music/playlist.m3u"], PLACE, SPECIAL_REFUSED),
          ("../lists/theirs.m3u", [], "{tmp}/music/../lists/theirs.m3u", LINK_REFUSED))),
    # A file of another user in a sticky folder is not replaced: neither by
    # that user, who could not rename over it, nor by root, who would hand
    # the co-user a file of root's names.
    Typed(dict(SHARED, **{"music/playlist.m3u": OLD}), ["{tmp}/music"],
          (0, BANNER, fell_back(PLACE, SHARED_REFUSED, "{tmp}/open")), "open/playlist.m3u",
          AT_MUSIC, cwd="open", user=True, skip=NO_OTHERS,
          modes=dict(SHARED_MODES, **{"music/playlist.m3u": 0o666, "open": 0o777})),
    Typed(dict(SHARED, **{"music/playlist.m3u": OLD}), ["../private"], refused(SHARED_REFUSED),
          cwd="music", modes=dict(SHARED_MODES, **{"music/playlist.m3u": 0o666}),
          owners=["music/playlist.m3u"], skip=NO_OTHERS),
    # In a co-user's own folder, their link to root's file and their FIFO.
    *(Typed(dict(BOBS, **{"bob/m1/playlist.m3u": made}), args, want, lands, IN_M1, cwd=cwd,
            modes={"root-only": 0o700}, owners=BOBS_OWNERS, skip=NO_OTHERS)
      for made, reason in (("{tmp}/root-only/decoy", LINK_REFUSED), (FIFO, SPECIAL_REFUSED))
      for args, cwd, want, lands in (
          (["{tmp}/bob/m1"], "cwd",
           (0, BANNER, fell_back("{tmp}/bob/m1/playlist.m3u", reason, "{tmp}/cwd")), TO_CWD),
          (["."], "bob/m1", refused(reason), None))),
    # There, their link to their own file is followed, whoever runs the
    # program; as they run it, their links to root's file and device too.
    # In a sticky folder its owner replaces any file, and a user their own.
    *(Typed(dict(BOBS, **{"bob/m1/playlist.m3u": link, "lists/root.m3u": OLD}), ["{tmp}/bob/m1"],
            OK, lands, IN_M1, cwd=".", modes={"root-only": 0o700, "lists/root.m3u": 0o666},
            owners=BOBS_OWNERS, user=user, skip=NO_OTHERS)
      for link, lands, user in (("../mine.m3u", "bob/mine.m3u", False),
                                ("../mine.m3u", "bob/mine.m3u", True), ("/dev/null", None, True),
                                ("{tmp}/lists/root.m3u", "lists/root.m3u", True))),
    *(Typed(dict(MUSIC, **{"music/playlist.m3u": OLD}), ["{tmp}/music"], OK, "music/playlist.m3u",
            AT_MUSIC, cwd=".", modes={"music": 0o1777, "music/playlist.m3u": 0o666},
            owners=[owned], user=True, skip=NO_OTHERS)
      for owned in ("music", "music/playlist.m3u")),
]

NEEDS_FAULTS = None if FAULTS else NO_FAULTS
NO_PROC = None if os.path.isdir("/proc/self/fd") else "needs /proc for unnamed files"
OVER, TAKEN = {"TONVELO_NO_RENAME_OVER": "1"}, "@1:%d" % errno.EEXIST
WITH_OLD = dict(MUSIC, **{"music/playlist.m3u": OLD})
TRACKS = dict({"music/track%04d.mp3" % i: b"" for i in range(200)}, **{"music/playlist.m3u": OLD})


def small_files():  # SIGXFSZ as the shell leaves it: ending the process
    resource.setrlimit(resource.RLIMIT_FSIZE, (1000, 1000))


def failed(why):
    """What a run says where its playlist could not be written."""
    return (2, BANNER, b"tonvelo: {tmp}/music/playlist.m3u: " + why + b"\n")


# An interrupt that comes while a file is made, linked or renamed ends the
# run once that is done: after the rename into place ("renameat",
# "renameat@3" and "renamed@2" here) the new playlist is kept.
INTERRUPTS = [({}, "renameat", s) for s in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)]
# Without unnamed files the temporary one has a name all along; every
# signal that ends the process removes it.
INTERRUPTS += [({"TONVELO_NO_TMPFILE": "1"}, "fchmod", s)
               for s in (signal.SIGINT, signal.SIGQUIT, signal.SIGUSR1, signal.SIGUSR2,
                         signal.SIGALRM, signal.SIGXCPU, signal.SIGRTMIN + 3)]
INTERRUPTS += [({"TONVELO_NO_TMPFILE": "1"}, "created", signal.SIGINT)]
# How an unnamed file gets its name.
INTERRUPTS += [({}, "linkat", signal.SIGKILL), ({}, "linked", signal.SIGINT)]
# Where the old one is moved aside to make room: before, once it is, as the
# new one takes its place and once it has.
INTERRUPTS += [(OVER, call, signal.SIGINT)
               for call in ("renameat@2", "renamed@1", "renameat@3", "renamed@2")]
INTERRUPTS += [(dict(OVER, TONVELO_NO_TMPFILE="1"), "renameat@3", signal.SIGTERM)]

# How the playlist is written, and what a failed write leaves: the old
# playlist, and nothing else.
WRITES = [
    *(Typed(WITH_OLD, ["{tmp}/music"], (-sig, BANNER, b""),
            *(("music/playlist.m3u", AT_MUSIC) if call in ("renameat", "renameat@3", "renamed@2")
              else (None, ())), cwd=".",
            preexec=lambda: resource.setrlimit(resource.RLIMIT_CORE, (0, 0)),
            env=faults(TONVELO_RAISE="%s:%d" % (call, sig), **extra),
            skip=NEEDS_FAULTS or (NO_PROC if call.startswith("link") else None))
      for extra, call, sig in INTERRUPTS),
    # A rerun replaces the playlist and skips it; also where the first
    # temporary name drawn is taken, and where the file system will not
    # rename over a file (FAT through FUSE).
    Typed(MUSIC, ["{tmp}/music"], OK, "music/playlist.m3u", AT_MUSIC),
    *(Typed(WITH_OLD, ["{tmp}/music"], OK, "music/playlist.m3u", AT_MUSIC, env=env)
      for env in [None] + [faults(**e) for e in (
          OVER, dict(OVER, TONVELO_NO_TMPFILE="1"), {"TONVELO_FAIL": "linkat" + TAKEN},
          {"TONVELO_FAIL": "create" + TAKEN, "TONVELO_NO_TMPFILE": "1"},
          dict(OVER, TONVELO_FAIL="renameat@2:%d" % errno.EEXIST))] * bool(FAULTS)),
    # With no old playlist the whole file takes its final name at once: no
    # rename, so no moment a kill leaves a temporary file behind.
    Typed(MUSIC, ["{tmp}/music"], OK, "music/playlist.m3u", AT_MUSIC,
          env=faults(TONVELO_RAISE="renameat:9"), skip=NEEDS_FAULTS or NO_PROC),
    # A failed rename or link exits 2, and so does moving the old one aside,
    # or the new one taking its place.
    *(Typed(WITH_OLD, ["{tmp}/music"], failed(b"Input/output error"),
            env=faults(TONVELO_FAIL="%s:%d" % (call, errno.EIO), **extra),
            skip=NEEDS_FAULTS or skip)
      for extra, call, skip in (
          ({}, "renameat", None), ({"TONVELO_NO_TMPFILE": "1"}, "renameat", None),
          ({}, "linkat", NO_PROC), (OVER, "renameat@2", None), (OVER, "renameat@3", None))),
    # Past the file size limit: exit 2, and the old playlist kept. Written
    # in place, in a folder the user may not write, the old bytes are put back.
    *(Typed(TRACKS, ["{tmp}/music"], failed(b"File too large"), cwd=".", preexec=small_files,
            env=env) for env in BOTH_WAYS),
    Typed(TRACKS, ["{tmp}/music"], failed(b"File too large"), cwd=".", preexec=small_files,
          modes={"music/playlist.m3u": 0o666, "music": 0o555}, user=True),
]


class WriteFaults(TreeCase):
    def music_with_old(self, mode=0o755, old_mode=0o644, more=None):
        """A folder of mode holding more files and a playlist of an earlier
        run, of old_mode: the folder, the playlist and the names listed."""
        music = self.folder("music", dict(ALBUM, **more or {}, **{"playlist.m3u": OLD}), mode=mode)
        mine = os.path.join(music, "playlist.m3u")
        os.chmod(mine, old_mode)
        return music, mine, sorted(os.listdir(music))

    def test_where_the_playlist_cannot_go_it_goes_to_the_current_folder(self):
        self.check_typed(FALLBACK)

    def test_what_a_write_leaves(self):
        self.check_typed(WRITES)

    @unittest.skipUnless(FAULTS, NO_FAULTS)
    def test_the_folder_scanned_is_the_folder_written_whatever_is_renamed(self):
        # Renamed away as the scan starts, and a link to another folder put
        # in its place: the scan and the playlist stay with the first.
        music = self.folder("music", ALBUM)
        self.folder("private", {"secret.mp3": b""}, mode=0o700)
        env = faults(TONVELO_SWAP=music + ":" + self.path("private"))
        for typed, playlist in ((music, music + "~/playlist.m3u"), ("music", "playlist.m3u")):
            self.assertEqual(self.listed(run([typed], self.tmp, env=env), playlist, msg=typed),
                             sorted(typed.encode() + b"/" + n.encode() for n in ALBUM))
            self.assertEqual(os.listdir(self.path("private")), ["secret.mp3"])
            os.remove(music)
            os.rename(music + "~", music)

    @unittest.skipUnless(IS_ROOT, "needs root to run as a member of a group")
    def test_a_user_who_cannot_keep_the_owner_keeps_the_group(self):
        music, mine, _ = self.music_with_old(mode=0o777, old_mode=0o664)
        os.chown(mine, 0, 100)
        self.assertEqual(self.run_unprivileged([music], self.tmp, groups="100"), OK)
        st = os.stat(mine)
        self.assertEqual((st.st_uid, st.st_gid, stat.S_IMODE(st.st_mode)), (65534, 100, 0o664))

    @unittest.skipUnless(FAULTS, NO_FAULTS)
    def test_a_named_temporary_file_is_private_and_unforeseeable(self):
        music, _, listing = self.music_with_old()
        # Killed once whole, before it has its mode: what a kill -9 leaves.
        # No leak check: the shell that waits for it is preloaded too, and
        # the check cannot run as the first process of a pid namespace.
        env = faults("verify_asan_link_order=0:detect_leaks=0", TONVELO_NO_TMPFILE="1",
                     TONVELO_RAISE="fchmod:9")
        # In a fresh pid namespace each run has the same process id, 2: the
        # shell's child.
        cmd, killed = (command([music]), -9) if not IS_ROOT else (
            ["unshare", "--pid", "--fork", "sh", "-c", '"$@"; exit $?', "sh"] + command([music]),
            137)
        names = []
        for _ in range(2):
            rc, _, _ = run_command(cmd, self.tmp, env=env)
            left = [n for n in os.listdir(music) if n not in listing]
            self.assertEqual((rc, len(left)), (killed, 1), left)
            self.assertRegex(left[0], r"^\.m3u[0-9a-f]{8}$")
            self.assertEqual(stat.S_IMODE(os.stat(os.path.join(music, left[0])).st_mode), 0o600)
            os.remove(os.path.join(music, left[0]))
            names.append(left[0])
        self.assertNotEqual(names[0], names[1])

    @unittest.skipIf(SANITIZED, "the sanitizers need far more address space")
    @unittest.skipIf(EMULATED, UNDER_EMULATOR + "whose own address space the limit bounds")
    def test_running_out_of_memory_keeps_the_old_playlist(self):
        music, _, listing = self.music_with_old(
            more={"%s%04d.mp3" % ("n" * 200, i): b"" for i in range(3000)})
        told = 0
        for kib in range(4096, 65536, 256):
            env = faults(TONVELO_NO_TMPFILE="1") if FAULTS else None
            rc, out, err = run([music], self.tmp, env=env, preexec=lambda: resource.setrlimit(
                resource.RLIMIT_AS, (kib << 10, kib << 10)))
            if rc == 0:
                break
            if rc == 2:  # not 127: the loader itself may find too little
                self.assertEqual(err, b"tonvelo: " + music.encode() +
                                 b": Cannot allocate memory\n", kib)
                told += 1
            else:
                self.assertEqual((rc, out), (127, b""), kib)
            self.assertEqual(sorted(os.listdir(music)), listing, kib)
            self.assertEqual(read(os.path.join(music, "playlist.m3u")), OLD, kib)
        self.assertEqual(rc, 0)
        self.assertGreater(told, 0)

    def test_a_playlist_at_the_longest_path_lands_in_its_folder(self):
        # A folder whose playlist takes the whole 4095 bytes a path may have.
        deep = self.tmp
        while len(deep) < 4095 - 13 - 200:
            deep += "/" + "d" * 199
        deep += "/" + "e" * (4095 - 13 - len(deep) - 1)
        make_deep(deep, ["a.mp3"])
        cwd = self.folder("cwd")
        self.assertEqual(run([deep], cwd), OK)
        self.assertEqual(os.listdir(cwd), [])
        self.assertEqual(sorted(os.listdir(deep)), ["a.mp3", "playlist.m3u"])

    def test_replacing_keeps_the_link_the_mode_and_the_owner(self):
        music = self.folder("music", dict(ALBUM, **{"playlist.m3u": "../lists/mine.m3u"}))
        real = self.path("lists", "mine.m3u")
        self.folder("lists", {"mine.m3u": OLD})
        os.chmod(real, 0o640)
        if IS_ROOT:
            os.chown(real, 65534, 65534)
        # A second hard link keeps the old playlist: it is replaced, never
        # written over, so that a failed run cannot mangle it.
        os.link(real, self.path("lists", "twin.m3u"))
        self.assertEqual(len(self.listed(run([music], self.tmp), real)), 3)
        self.assertEqual(os.readlink(os.path.join(music, "playlist.m3u")), "../lists/mine.m3u")
        st = os.stat(real)
        self.assertEqual((stat.S_IMODE(st.st_mode), st.st_uid, st.st_gid, st.st_nlink),
                         (0o640, 65534 if IS_ROOT else os.getuid(),
                          65534 if IS_ROOT else st.st_gid, 1))
        self.assertEqual(read(self.path("lists", "twin.m3u")), OLD)
        self.assertEqual(sorted(os.listdir(self.path("lists"))), ["mine.m3u", "twin.m3u"])

    def run_over_old_640(self, acl=ACL, env=None):
        """Runs the program, with env, on the folder of an old playlist of
        mode 0640 and an ACL that lets nobody write: the playlist's own (ACL)
        or the folder's default one. Gives the playlist."""
        music, mine, _ = self.music_with_old(old_mode=0o640)
        try:
            os.setxattr(mine if acl == ACL else music, acl, NOBODY_RW)
        except OSError:
            self.skipTest("no ACLs on this file system")
        self.assertEqual(run([music], self.tmp, env=env), OK)
        return mine

    def test_the_access_acl_is_kept_and_never_widened(self):
        mine = self.run_over_old_640()
        self.assertEqual((os.getxattr(mine, ACL), stat.S_IMODE(os.stat(mine).st_mode)),
                         (NOBODY_RW, 0o660))

    @unittest.skipUnless(FAULTS, NO_FAULTS)
    def test_where_the_acl_cannot_be_set_the_group_gets_its_own_bits(self):
        # Where the ACL cannot be set, the group gets its own entry, not the mask.
        mine = self.run_over_old_640(env=faults(TONVELO_NO_ACL="1"))
        self.assertEqual(stat.S_IMODE(os.stat(mine).st_mode), 0o640)

    def test_no_acl_where_the_old_playlist_had_none(self):
        # None where the old one had none, whatever the folder gives new files.
        mine = self.run_over_old_640("system.posix_acl_default")
        self.assertNotIn(ACL, os.listxattr(mine))
        self.assertEqual(stat.S_IMODE(os.stat(mine).st_mode), 0o640)


@unittest.skipUnless(IS_ROOT, "needs root to give links and files to another user")
class OtherUsers(TreeCase):
    """What a co-user put at the playlist's place, in a shared folder or in
    a folder of their own, with root or the co-user running the program."""

    def test_a_users_own_fifo_in_their_own_folder_is_written_to(self):
        # As the co-user.
        bob = self.folder("bob", {"m/song.mp3": b"", "m/playlist.m3u": FIFO})
        m, place = os.path.join(bob, "m"), os.path.join(bob, "m", "playlist.m3u")
        for path in (bob, m, place):
            os.chown(path, 65534, 65534)
        reader = os.open(place, os.O_RDONLY | os.O_NONBLOCK)
        self.addCleanup(os.close, reader)
        self.assertEqual(self.run_unprivileged([m], self.tmp), OK)
        self.assertEqual(entries(os.read(reader, 65536)), [m.encode() + b"/song.mp3"])


if __name__ == "__main__":
    unittest.main()
