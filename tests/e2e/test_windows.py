"""The Windows program under Wine, on real trees on disk.

Wine shows the Linux file system as drive Z:, so a temporary folder /tmp/x
is Z:\\tmp\\x to the program.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import (BANNER, EOL, HEADER, NOTICE, OK, OK_NOTICE, OK_USAGE, USAGE,  # noqa: E402
                     WRAPPER, TreeCase, Typed, command, entries, fell_back, filled, lined,
                     make_tree, read, read_all, run, winpath)

INTERRUPT = os.environ.get("TONVELO_INTERRUPT_WRITE", "")
OPEN_ENTRIES = os.environ.get("TONVELO_OPEN_ENTRIES", "")
# Wine keeps a file's DOS attributes as Samba does: a number, in hex text.
DOSATTRIB = "user.DOSATTRIB"


def locale_env(name):
    """Runs Wine in the ANSI code page of locale name, file names still in
    UTF-8; None when localedef cannot make the locale."""
    path = os.path.join(tempfile.gettempdir(), "tonvelo-locales")
    os.makedirs(path, exist_ok=True)
    if shutil.which("localedef"):
        subprocess.run(["localedef", "-i", name[:5], "-f", "UTF-8", os.path.join(path, name)],
                       capture_output=True)
    return {"LOCPATH": path, "LC_ALL": name} if os.path.isdir(os.path.join(path, name)) else None


def played(playlist, env):
    """A player's code page, and the first line of each entry's file, sorted."""
    out = run([winpath(playlist)], os.path.dirname(playlist), env=env, program=OPEN_ENTRIES)[1]
    return out.split(EOL)[0], sorted(out.split(EOL)[1:-1])


# Names Windows does not open as they stand, images and playlists beyond
# Latin-1; each file holds its name. Wine keeps no short name for 8.3 names.
HOSTILE = ("enddot.|enddot|track.mp3 |nul.flac|COM1.flac|lpt1 .mp3|dirdot./d.mp3|dirsp /s.mp3|"
           "con.mp3|NUL|AUX/x.mp3|nul.d/y.mp3|\u043e.jpg|\u041b.m3u|\u65e5.m3u8|\u0424.jpg/f.mp3|"
           "Bj\u00f6rk/J\u00f3ga.mp3|Caf\u00e9.mp3|a.mp3").split("|")
NO_SHORT_NAME = ["con.mp3", "NUL", "AUX", "nul.d"]

# A folder of every kind of name, and the entries of its playlist after
# what the folder is typed as.
MUSIC = {"music/" + n: b"" for n in ("a.mp3", "cover.jpg", "COVER.JPG", "list.m3u", "x.jpg.mp3",
                                     "Album/b.flac", "art.jpg/c.mp3", "caf\u00e9.mp3")}


def in_music(typed=b"{win}\\music/"):
    return [typed + n for n in (b"a.mp3", b"COVER.JPG", b"Album/b.flac", b"caf\xe9.mp3")]


LINKED_OLD = {"music/a.mp3": b"", "lists/mine.m3u": HEADER + b"Z:/old.mp3\r\n",
              "music/playlist.m3u": "../lists/mine.m3u"}
DRIVE_RELATIVE = {"dr\u00e9/c.mp3": b"", "dr\u00e9/music/m.mp3": b""}
VERBATIM = b"\\\\?\\{win}\\dr\xe9"
PAST_255 = ("ABCDEFGH\\" * 29)[:258]
LOOP = b": Too many levels of symbolic links\r\n"


def refused(why=b"Permission denied"):
    """The line that says the playlist of music was refused and went to cwd."""
    return (0, BANNER, fell_back("{win}\\music/playlist.m3u", why, "{win}\\cwd"))


# What is typed, and the entries and the place of the playlist.
TYPED = [
    Typed({"cwd/a.mp3": b""}, [], (1, BANNER + USAGE, b"")),
    # "/?" asks for help, as --help does.
    Typed({"cwd/a.mp3": b""}, ["/?"], OK_USAGE),
    Typed({"cwd/song.mp3": b"x"}, ["-v"], (1, BANNER + USAGE, b"tonvelo: -v: unknown option\r\n")),
    Typed({"cwd/song.mp3": b"x"}, ["song.mp3"], (2, BANNER, b"opendir: Not a directory\r\n")),
    # The current directory comes back as a Windows path; past 1023 units
    # a name is missing, though it names lib.
    Typed({"cwd/a.mp3": b""}, ["no-such-folder"], OK_NOTICE, "cwd/playlist.m3u",
          [b"{win}\\cwd/a.mp3"]),
    Typed({"cwd/a.mp3": b"", "cwd/lib/b.mp3": b""}, [".\\" * 511 + "lib"], OK_NOTICE,
          "cwd/playlist.m3u", [b"{win}\\cwd/a.mp3", b"{win}\\cwd/lib/b.mp3"]),
    # An absolute folder: its tree collected, and a playlist made or
    # replaced; names ignore case, so an old PLAYLIST.M3U is the one written.
    *(Typed(dict(MUSIC, **old), ["{win}\\music"], OK, lands, in_music()) for old, lands in (
        ({}, "music/playlist.m3u"), ({"music/playlist.m3u": HEADER}, "music/playlist.m3u"),
        ({"music/PLAYLIST.M3U": HEADER}, "music/PLAYLIST.M3U"))),
    # A trailing separator is kept as typed, also as a batch file's "%~dp0"
    # types it: its `\"` reaches the program as `"`.
    Typed(MUSIC, ["{win}\\music\\"], OK, "music/playlist.m3u", in_music(b"{win}\\music\\")),
    Typed(MUSIC, ['{win}\\music"'], OK, "music/playlist.m3u", in_music(b"{win}\\music\\")),
    Typed(MUSIC, ["{win}\\music/"], OK, "music/playlist.m3u", in_music(b"{win}\\music/")),
    # A relative folder lands in the current directory. Windows drops the
    # dots and blanks that end a name; so do the entries, but for a "." of
    # its own.
    *(Typed({"lib/d/a.mp3": b""}, [typed], OK, "playlist.m3u", [kept + b"/d/a.mp3"], cwd=".")
      for typed, kept in (("lib", b"lib"), ("lib. ", b"lib"), ("lib\\.", b"lib\\."))),
    # A folder of 256 to 261 characters goes by its short name where that
    # fits, else nothing is written.
    Typed({(("longname" * 25 + "/") * 2)[:258] + "/a.mp3": b""},
          [(("longname" * 25 + "\\") * 2)[:258]], OK, "playlist.m3u",
          re.compile(rb"^[A-Z~0-9]{8}\\[A-Z~0-9]{8}/a\.mp3$"), cwd="."),
    Typed({PAST_255.replace("\\", "/") + "/a.mp3": b""}, [PAST_255],
          (2, BANNER, b"tonvelo: " + PAST_255.encode() + b": File name too long\r\n"), cwd="."),
    # A playlist that is a link is replaced through it, unless read-only
    # to Windows; a folder of its name sends it to the current folder too.
    Typed(LINKED_OLD, ["{win}\\music"], OK, "lists/mine.m3u", [b"{win}\\music/a.mp3"]),
    Typed(LINKED_OLD, ["{win}\\music"], refused(), "cwd/playlist.m3u", [b"{win}\\music/a.mp3"],
          modes={"lists/mine.m3u": 0o444}),
    Typed(dict(MUSIC, **{"music/playlist.m3u": None}), ["{win}\\music"], refused(b"Is a directory"),
          "cwd/playlist.m3u", in_music()),
    # A link to the folder above: below it the scanned folder comes round
    # again as a plain one.
    Typed({"M/Rock/r1.mp3": b"", "M/Jazz/j1.mp3": b"", "M/Rock/Best-of": ".."}, ["{win}\\M\\Rock"],
          (0, BANNER, b"tonvelo: {win}\\M\\Rock/Best-of/Rock" + LOOP),
          "M/Rock/playlist.m3u", [b"{win}\\M\\Rock/Best-of/Jazz/j1.mp3", b"{win}\\M\\Rock/r1.mp3"],
          cwd="."),
    # Folders named outside the code page are the ones scanned, absolute,
    # relative or current: each of these characters reaches the program as
    # a byte of code page 1252 that is not its Latin-1 self, or as "?". A
    # short name, in ASCII, stands in.
    Typed({"Don\u2019t Stop/\u20ac \u2013 \u2026 \u0153/a.mp3": b""},
          ["{win}\\Don\u2019t Stop\\\u20ac \u2013 \u2026 \u0153"], OK,
          "Don\u2019t Stop/\u20ac \u2013 \u2026 \u0153/playlist.m3u",
          re.compile(rb"^Z:\\[ -~]+/a\.mp3$")),
    Typed({"\u041a\u0438\u043d\u043e/k.mp3": b""}, ["\u041a\u0438\u043d\u043e"], OK,
          "playlist.m3u", re.compile(rb"^(?!.*\?)[!-~]+/k\.mp3$"), cwd="."),
    Typed({"\u65e5\u672c/j.mp3": b""}, ["no-such-folder"], OK_NOTICE, "\u65e5\u672c/playlist.m3u",
          re.compile(rb"^(?!.*\?)Z:\\[ -~]+/j\.mp3$"), cwd="\u65e5\u672c"),
    # A Latin-1 one stays as typed.
    Typed({"caf\u00e9/a.mp3": b""}, ["{win}\\caf\u00e9"], OK, "caf\u00e9/playlist.m3u",
          [b"{win}\\caf\xe9/a.mp3"]),
    # Drive-relative and verbatim folders give entries that open; below
    # \\?\ only "\" separates, and never two in a row.
    *(Typed(DRIVE_RELATIVE, [typed], OK, lands, want, cwd="dr\u00e9") for typed, lands, want in (
        ("Z:", "dr\u00e9/playlist.m3u", [b"{win}\\dr\xe9/c.mp3", b"{win}\\dr\xe9/music/m.mp3"]),
        ("Z:music", "dr\u00e9/music/playlist.m3u", [b"{win}\\dr\xe9\\music/m.mp3"]))),
    *(Typed(DRIVE_RELATIVE, [typed.decode("latin-1")], OK, "dr\u00e9/playlist.m3u",
            [VERBATIM + b"\\c.mp3", VERBATIM + b"\\music\\m.mp3"], cwd=".")
      for typed in (VERBATIM, VERBATIM + b"\\")),
]


class WindowsProgram(TreeCase):
    def setUp(self):
        super().setUp()
        if not WRAPPER:
            self.skipTest("TONVELO_WRAPPER names no emulator")

    def folder_of_246(self, layout):
        """A folder whose text, as the program is given it, is 246 characters
        long: its playlist's name just fits MAX_PATH."""
        return self.folder("d" * (246 - len(winpath(self.tmp)) - 1), layout)

    def test_what_is_typed_gives_the_entries_and_the_place(self):
        self.check_typed(TYPED)

    def music(self):
        """The folder of every kind of name, as typed, and its entries."""
        make_tree(self.tmp, MUSIC)
        return (self.path("music"), winpath(self.path("music")),
                sorted(filled(e, self.tmp) for e in in_music()))

    def test_a_folder_typed_with_slashes_is_absolute_too(self):
        _, typed, _ = self.music()
        slashes = typed.replace("\\", "/")
        for arrives in (slashes, slashes[2:], typed[:3] + typed[3:].replace("\\", "/", 1)):
            got = self.listed(run([arrives], self.folder("cwd")), "music/playlist.m3u", msg=arrives)
            self.assertEqual(os.listdir(self.path("cwd")), [], arrives)
            self.assertIn(arrives.encode() + b"/Album/b.flac", got)

    def test_a_hidden_system_playlist_stays_so(self):
        music, typed, want = self.music()
        mine = os.path.join(music, "playlist.m3u")
        make_tree(music, {"playlist.m3u": HEADER})
        try:
            os.setxattr(mine, DOSATTRIB, b"0x6")  # hidden and system
        except OSError:
            self.skipTest("no extended attributes here, where Wine keeps DOS attributes")
        self.assertEqual(self.listed(run([typed], self.tmp), mine), want)
        self.assertEqual(int(os.getxattr(mine, DOSATTRIB), 16) & 0x6, 0x6)

    def test_paths_past_255_characters_are_reported_not_cut(self):
        lib = self.folder("lib")
        room = 255 - len(winpath(lib)) - 1
        fits = "f" * (room - 4) + ".mp3"          # exactly 255 characters
        too_long = "g" * (room - 3) + ".mp3"      # 256
        self.folder("lib", {fits: b"", too_long: b""})
        said = b"tonvelo: " + (winpath(lib) + "/" + too_long).encode() + b": File name too long\r\n"
        got = self.listed(run([winpath(lib)], self.tmp), "lib/playlist.m3u", (0, BANNER, said))
        self.assertEqual(got, [(winpath(lib) + "/" + fits).encode()])

    def test_name_beyond_latin1_comes_as_short_name_or_is_reported(self):
        lib = self.folder("lib", {"\u65e5\u672c\u8a9e.mp3": b"", "a.mp3": b""})
        rc, out, err = run([winpath(lib)], self.tmp)
        self.assertEqual((rc, out), (0, BANNER))
        got = entries(read(os.path.join(lib, "playlist.m3u")))
        prefix = winpath(lib).encode() + b"/"
        self.assertIn(prefix + b"a.mp3", got)
        others = [g for g in got if g != prefix + b"a.mp3"]
        if others:  # the volume keeps 8.3 names: one stands in
            self.assertEqual(err, b"")
            self.assertEqual(len(others), 1)
            self.assertRegex(others[0], rb"/[A-Z0-9_~]{1,8}\.MP3$")
        else:
            self.assertEqual(err, lined(b"tonvelo: " + prefix +
                                        b"?: name not representable, left out\n"))

    @unittest.skipUnless(OPEN_ENTRIES, "needs the stand-in player")
    def test_every_entry_opens_its_own_file_in_the_ansi_code_page_or_is_reported(self):
        lib = self.folder("lib", {n: n.encode() for n in HOSTILE})
        reported = sorted(b"tonvelo: " + winpath(lib).encode() + b"/" + n.encode() +
                          b": name Windows cannot open, left out\r\n" for n in NO_SHORT_NAME)
        # Short names stand in for the rest; images and playlists are
        # judged by their long names.
        listed = sorted(n.encode() for n in HOSTILE if n.split("/")[0] not in NO_SHORT_NAME and
                        ".jpg" not in n and ".m3u" not in n)
        for env, page in (({"LC_ALL": "C.UTF-8"}, b"1252"), (locale_env("ru_RU.UTF-8"), b"1251"),
                          (locale_env("ja_JP.UTF-8"), b"932")):
            if env is None:
                self.skipTest("localedef cannot make ru_RU.UTF-8 and ja_JP.UTF-8 (package locales)")
            rc, out, err = run([winpath(lib)], self.tmp, env=env)
            self.assertEqual((rc, out, sorted(err.splitlines(True))), (0, BANNER, reported))
            self.assertEqual(played(self.path("lib", "playlist.m3u"), env),
                             (b"code page " + page, listed))

    @unittest.skipUnless(OPEN_ENTRIES, "needs the stand-in player")
    def test_a_deep_current_folder_in_code_page_932_gives_entries_that_open(self):
        env = locale_env("ja_JP.UTF-8")
        if env is None:
            self.skipTest("localedef cannot make ja_JP.UTF-8 (package locales)")
        # A current folder of 185 characters, 345 bytes in code page 932.
        jp = "\u65e5\u672c\u8a9e\u306e\u66f2" * 16
        cwd = self.folder(jp + "/" + jp, {"j.mp3": b"j"})
        self.assertEqual(run(["no-such-folder"], cwd, env=env), (0, BANNER + NOTICE, b""))
        self.assertEqual(played(os.path.join(cwd, "playlist.m3u"), env)[1], [b"j"])

    def test_a_playlist_that_just_fits_max_path_leaves_no_temporary_file(self):
        # A folder text of 246 characters: its playlist just fits MAX_PATH,
        # and so does the temporary file, which is never left behind.
        deep = self.folder_of_246({"b.mp3": b""})
        cwd = self.folder("cwd")
        self.assertEqual(run([winpath(deep)], cwd), OK)
        self.assertEqual((os.listdir(cwd), [n for n in os.listdir(deep) if ".m3u" in n]),
                         ([], ["playlist.m3u"]))

    def start(self, *args):
        """Starts the stand-in program with args once it says it is ready.
        Signals go to it alone: Wine's own services, which the first program
        may start, must not get them."""
        p = subprocess.Popen(command(args, INTERRUPT), stdin=subprocess.PIPE,
                             stdout=subprocess.PIPE, bufsize=0)
        self.addCleanup(p.stdin.close)
        self.addCleanup(p.stdout.close)
        self.addCleanup(p.wait, timeout=60)
        self.addCleanup(lambda: p.poll() is None and p.kill())
        self.assertEqual(read_all(p.stdout.fileno(), time.monotonic() + 60, b"\n"), b"ready\r\n")
        return p

    @unittest.skipUnless(INTERRUPT, "needs the stand-in program")
    def test_ctrl_c_removes_the_half_written_playlist(self):
        # The second folder's final path, "\\?\" and 247 characters, is
        # longer than MAX_PATH with the temporary name.
        for music in (self.folder("music", {"playlist.m3u": HEADER}),
                      self.folder_of_246({"playlist.m3u": HEADER})):
            p = self.start(winpath(music) + "\\playlist.m3u")
            self.assertEqual(len(os.listdir(music)), 2)  # the old and the new
            p.send_signal(signal.SIGINT)  # Wine hands it on as Ctrl-C
            p.wait(timeout=60)
            self.assertEqual(read_all(p.stdout.fileno(), time.monotonic() + 60, b"\n"),
                             b"")  # not "not interrupted"
            self.assertEqual(os.listdir(music), ["playlist.m3u"])
            self.assertEqual(read(os.path.join(music, "playlist.m3u")), HEADER)

    @unittest.skipUnless(INTERRUPT, "needs the stand-in program")
    def test_ctrl_c_during_a_change_waits_for_it_and_removes_what_it_made(self):
        music = self.folder("music", {"playlist.m3u": HEADER})
        p = self.start(winpath(music) + "\\playlist.m3u", "--step")
        p.send_signal(signal.SIGINT)
        # Held back: the run ends only once the change under way is noted.
        with self.assertRaises(subprocess.TimeoutExpired):
            p.wait(timeout=2)
        p.stdin.write(b"go\n")
        self.assertEqual(p.stdout.readline(), b"made\r\n")
        p.wait(timeout=60)
        self.assertEqual(p.stdout.readline(), b"")  # not "not interrupted"
        self.assertEqual(os.listdir(music), ["playlist.m3u"])
        self.assertEqual(read(os.path.join(music, "playlist.m3u")), HEADER)

    @unittest.skipUnless(INTERRUPT, "needs the stand-in program")
    def test_a_playlist_written_in_place_is_cut_or_put_back(self):
        old = lined(b"C:\\old\\one.mp3\n") * 50
        music = self.folder("music", {"playlist.m3u": old})
        for mode, want in (("--cut", lined(b"#EXTM3U\n")), ("--put-back", old)):
            rc = run([winpath(music) + "\\playlist.m3u", mode], self.tmp, program=INTERRUPT)[0]
            self.assertEqual((rc, read(os.path.join(music, "playlist.m3u"))), (0, want), mode)
            make_tree(music, {"playlist.m3u": old})

    @unittest.skipUnless(INTERRUPT, "needs the stand-in program")
    def test_a_playlist_in_use_counts_as_failed(self):
        music = self.folder("music", {"a.mp3": b"", "playlist.m3u": HEADER})
        cwd = self.folder("cwd")
        self.start("--hold", winpath(music) + "\\playlist.m3u")
        self.assertEqual(run([winpath(music)], cwd), filled(refused(), self.tmp))
        self.assertEqual(read(os.path.join(music, "playlist.m3u")), HEADER)
        self.assertEqual(len(entries(read(os.path.join(cwd, "playlist.m3u")))), 1)

    @unittest.skipUnless(INTERRUPT, "needs the stand-in program")
    def test_the_folder_held_is_the_one_scanned_and_written(self):
        # Held, it cannot be renamed; a link on the way to it, changed
        # meanwhile, leads neither the scan nor the playlist elsewhere.
        make_tree(self.tmp, {"real/r.mp3": b"", "decoy/d.mp3": b"", "link": "real"})
        real = self.path("real")
        p = self.start(winpath(self.path("link", "playlist.m3u")), "--held")
        self.assertEqual(run(["/c", "ren", winpath(real), "moved"], self.tmp, program="cmd")[0], 1)
        os.remove(self.path("link"))
        os.symlink("decoy", self.path("link"))
        p.stdin.write(b"go\n")
        self.assertEqual(p.wait(timeout=60), 0)
        self.assertIn(b"r.mp3\r\n", read_all(p.stdout.fileno(), time.monotonic() + 60))
        self.assertEqual((sorted(os.listdir(real)), os.listdir(self.path("decoy"))),
                         (["playlist.m3u", "r.mp3"], ["d.mp3"]))

    @unittest.skipUnless(INTERRUPT, "needs the stand-in program")
    def test_a_refused_replacement_leaves_no_temporary_file(self):
        # The old playlist, held without delete sharing, is not renamed over.
        music = self.folder("music", {"playlist.m3u": HEADER})
        rc = run([winpath(music) + "\\playlist.m3u", "--refuse"], self.tmp, program=INTERRUPT)[0]
        self.assertEqual((rc, os.listdir(music)), (13, ["playlist.m3u"]))  # EACCES
        self.assertEqual(read(os.path.join(music, "playlist.m3u")), HEADER)

    def test_links_back_onto_the_path_end_at_once(self):
        other = self.folder("other", {"o.mp3": b""})
        lp = self.folder("lp", {"song.mp3": b"", "sub/x.mp3": b"", "a": ".", "b": ".",
                                "sub/up": "..", "ext": other})
        typed = winpath(lp).encode()
        rc, out, err = run([winpath(lp)], self.tmp)
        self.assertEqual((rc, out), (0, BANNER))
        self.assertEqual(entries(read(os.path.join(lp, "playlist.m3u"))),
                         sorted(typed + b"/" + n for n in (b"song.mp3", b"sub/x.mp3", b"ext/o.mp3")))
        self.assertEqual(sorted(err.splitlines(True)), sorted(
            b"tonvelo: " + typed + b"/" + n + LOOP for n in (b"a", b"b", b"sub/up")))

    def test_failed_replacement_exits_2_and_leaves_no_temporary_file(self):
        # A folder where the playlist would go.
        make_tree(self.tmp, {"lib/a.mp3": b"", "playlist.m3u": None})
        rc, out, err = run(["lib"], self.tmp)
        self.assertEqual((rc, out), (2, BANNER))
        self.assertRegex(err, rb"^tonvelo: playlist\.m3u: [^\r\n]+\r\n$")
        self.assertEqual(sorted(os.listdir(self.tmp)), ["lib", "playlist.m3u"])
        self.assertEqual(os.listdir(self.path("playlist.m3u")), [])


if __name__ == "__main__":
    unittest.main()
