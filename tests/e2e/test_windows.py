"""The Windows program under Wine, on real trees on disk.

Wine shows the Linux file system as drive Z:, so a temporary folder /tmp/x
is Z:\\tmp\\x to the program.
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import (BANNER, EOL, HEADER, NOTICE, USAGE, WRAPPER, TreeCase,  # noqa: E402
                     command, entries, fell_back, lined, make_deep, make_tree, read, run)
from harness import read_all  # noqa: E402

INTERRUPT = os.environ.get("TONVELO_INTERRUPT_WRITE", "")
OPEN_ENTRIES = os.environ.get("TONVELO_OPEN_ENTRIES", "")
# Wine keeps a file's DOS attributes as Samba does: a number, in text.
DOSATTRIB = "user.DOSATTRIB"


def winpath(path):
    return "Z:" + path.replace("/", "\\")


def refused(music, cwd, why=b"Permission denied"):
    """The line that says music's playlist was refused and went to cwd."""
    return fell_back(winpath(music) + "/playlist.m3u", why, winpath(cwd))


def dos_attributes(path):
    """The DOS attributes Wine keeps of path, as a number."""
    return int(os.getxattr(path, DOSATTRIB), 16) if DOSATTRIB in os.listxattr(path) else 0


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


class WindowsProgram(TreeCase):
    def setUp(self):
        super().setUp()
        if not WRAPPER:
            self.skipTest("TONVELO_WRAPPER names no emulator")

    def folder_of_246(self, layout):
        """A folder whose text, as the program is given it, is 246 characters
        long: its playlist's name just fits MAX_PATH."""
        return self.folder("d" * (246 - len(winpath(self.tmp)) - 1), layout)

    def test_usage(self):
        cwd = self.folder("cwd", {"a.mp3": b""})
        self.assertEqual(run([], cwd), (1, BANNER + USAGE, b""))
        self.assertEqual(os.listdir(cwd), ["a.mp3"])

    def test_missing_folder_scans_the_current_directory(self):
        # The current directory comes back as a Windows path.
        cwd = self.folder("cwd", {"a.mp3": b""})
        rc, out, err = run(["no-such-folder"], cwd)
        self.assertEqual((rc, out, err), (0, BANNER + NOTICE, b""))
        self.assertEqual(entries(read(os.path.join(cwd, "playlist.m3u"))),
                         [winpath(cwd).encode() + b"/a.mp3"])

    def test_slash_question_mark_asks_for_help(self):
        # "/?" asks for help, as --help does.
        cwd = self.folder("cwd", {"a.mp3": b""})
        self.assertEqual(run(["/?"], cwd), (0, BANNER + USAGE, b""))
        self.assertEqual(os.listdir(cwd), ["a.mp3"])

    def test_a_name_past_1023_units_is_missing(self):
        # Past 1023 units the name is missing, though it names lib.
        cwd = self.folder("cwd", {"a.mp3": b"", "lib/b.mp3": b""})
        self.assertEqual(run([".\\" * 511 + "lib"], cwd), (0, BANNER + NOTICE, b""))
        self.assertEqual(entries(read(os.path.join(cwd, "playlist.m3u"))),
                         [winpath(cwd).encode() + n for n in (b"/a.mp3", b"/lib/b.mp3")])

    def music(self):
        """A folder of every kind of name, as typed, and its entries."""
        music = self.folder("music", {
            "a.mp3": b"", "cover.jpg": b"", "COVER.JPG": b"", "list.m3u": b"",
            "x.jpg.mp3": b"", "Album/b.flac": b"", "art.jpg/c.mp3": b"",
            "caf\u00e9.mp3": b""})
        typed = winpath(music)
        return music, typed, sorted(typed.encode() + b"/" + n for n in
                                    (b"a.mp3", b"COVER.JPG", b"Album/b.flac", b"caf\xe9.mp3"))

    def test_absolute_folder_collects_the_tree_and_replaces_the_playlist(self):
        music, typed, want = self.music()
        for _ in range(2):  # the second run replaces the first playlist
            self.assertEqual(run([typed], self.tmp), (0, BANNER, b""))
            self.assertEqual(entries(read(os.path.join(music, "playlist.m3u"))), want)
        self.assertEqual(sorted(n for n in os.listdir(music) if "playlist" in n),
                         ["playlist.m3u"])

    def test_an_old_playlist_under_another_case_is_the_one_written(self):
        # Names ignore case: an old PLAYLIST.M3U is the file written.
        music, typed, want = self.music()
        make_tree(music, {"PLAYLIST.M3U": HEADER})
        self.assertEqual(run([typed], self.tmp), (0, BANNER, b""))
        self.assertEqual(entries(read(os.path.join(music, "PLAYLIST.M3U"))), want)

    def test_a_trailing_separator_is_kept_as_typed_and_not_doubled(self):
        # A trailing separator is kept as typed, also as a batch file's
        # "%~dp0" types it: its `\"` reaches the program as `"`.
        music, typed, _ = self.music()
        for arrives, kept in ((typed + "\\", typed + "\\"), (typed + '"', typed + "\\"),
                              (typed + "/", typed + "/")):
            self.assertEqual(run([arrives], self.tmp), (0, BANNER, b""))
            self.assertIn(kept.encode() + b"Album/b.flac",
                          entries(read(os.path.join(music, "playlist.m3u"))))
            os.remove(os.path.join(music, "playlist.m3u"))

    def test_a_folder_typed_with_slashes_is_absolute_too(self):
        music, typed, _ = self.music()
        slashes = typed.replace("\\", "/")
        for arrives in (slashes, slashes[2:], typed[:3] + typed[3:].replace("\\", "/", 1)):
            self.assertEqual(run([arrives], self.folder("cwd")), (0, BANNER, b""), arrives)
            self.assertEqual(os.listdir(self.path("cwd")), [], arrives)
            self.assertIn(arrives.encode() + b"/Album/b.flac",
                          entries(read(os.path.join(music, "playlist.m3u"))))

    def test_a_hidden_system_playlist_stays_so(self):
        music, typed, want = self.music()
        mine = os.path.join(music, "playlist.m3u")
        make_tree(music, {"playlist.m3u": HEADER})
        try:
            os.setxattr(mine, DOSATTRIB, b"0x6")  # hidden and system
        except OSError:
            self.skipTest("no extended attributes here, where Wine keeps DOS attributes")
        self.assertEqual(run([typed], self.tmp), (0, BANNER, b""))
        self.assertEqual(entries(read(mine)), want)
        self.assertEqual(dos_attributes(mine) & 0x6, 0x6)

    def test_relative_folder_lands_in_the_current_directory(self):
        self.folder("lib", {"d/a.mp3": b""})
        # Windows drops the dots and blanks that end a name; so do the
        # entries, but for a "." of its own.
        for typed, kept in (("lib", b"lib"), ("lib. ", b"lib"), ("lib\\.", b"lib\\.")):
            self.assertEqual(run([typed], self.tmp), (0, BANNER, b""))
            self.assertEqual(entries(read(self.path("playlist.m3u"))), [kept + b"/d/a.mp3"])

    def test_plain_file_gives_an_opendir_line_and_writes_nothing(self):
        cwd = self.folder("cwd", {"song.mp3": b"x"})
        self.assertEqual(run(["song.mp3"], cwd), (2, BANNER, b"opendir: Not a directory\r\n"))
        self.assertEqual(os.listdir(cwd), ["song.mp3"])

    def test_a_mistyped_option_exits_1(self):
        cwd = self.folder("cwd", {"song.mp3": b"x"})
        self.assertEqual(run(["-v"], cwd), (1, BANNER + USAGE,
                                             b"tonvelo: -v: unknown option\r\n"))

    def test_paths_past_255_characters_are_reported_not_cut(self):
        lib = self.folder("lib")
        room = 255 - len(winpath(lib)) - 1
        fits = "f" * (room - 4) + ".mp3"          # exactly 255 characters
        too_long = "g" * (room - 3) + ".mp3"      # 256
        self.folder("lib", {fits: b"", too_long: b""})
        rc, out, err = run([winpath(lib)], self.tmp)
        self.assertEqual((rc, out), (0, BANNER))
        self.assertEqual(entries(read(os.path.join(lib, "playlist.m3u"))),
                         [(winpath(lib) + "/" + fits).encode()])
        self.assertEqual(err, b"tonvelo: " + (winpath(lib) + "/" + too_long).encode() +
                         b": File name too long\r\n")

    def test_a_folder_past_255_characters_goes_by_its_short_name(self):
        # A folder of 256 to 261 characters goes by its short name where
        # that fits, else nothing is written.
        typed = (("longname" * 25 + "\\") * 2)[:258]
        make_deep(self.path(typed.replace("\\", "/")), ["a.mp3"])
        self.assertEqual(run([typed], self.tmp), (0, BANNER, b""))
        self.assertRegex(read(self.path("playlist.m3u")), rb"\n[A-Z~0-9]{8}\\[A-Z~0-9]{8}/a\.mp3\r\n$")

    def test_a_folder_past_255_characters_without_a_short_name_writes_nothing(self):
        typed = ("ABCDEFGH\\" * 29)[:258]
        make_deep(self.path(typed.replace("\\", "/")), ["a.mp3"])
        self.assertEqual(run([typed], self.tmp), (2, BANNER, b"tonvelo: " + typed.encode() +
                                                  b": File name too long\r\n"))
        self.assertNotIn("playlist.m3u", os.listdir(self.tmp))

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

    def linked_old(self):
        """A folder whose playlist is a link to a list elsewhere, and a
        current directory to fall back to."""
        music = self.folder("music", {"a.mp3": b""})
        self.folder("lists", {"mine.m3u": HEADER + b"Z:/old.mp3\r\n"})
        os.symlink("../lists/mine.m3u", os.path.join(music, "playlist.m3u"))
        return music, self.folder("cwd")

    def test_replacing_follows_links(self):
        music, cwd = self.linked_old()
        self.assertEqual(run([winpath(music)], cwd), (0, BANNER, b""))
        self.assertEqual(os.readlink(os.path.join(music, "playlist.m3u")), "../lists/mine.m3u")
        self.assertEqual(len(entries(read(self.path("lists", "mine.m3u")))), 1)

    def test_a_read_only_playlist_is_spared(self):
        music, cwd = self.linked_old()
        os.chmod(self.path("lists", "mine.m3u"), 0o444)  # read-only, to Windows
        before = read(self.path("lists", "mine.m3u"))
        self.assertEqual(run([winpath(music)], cwd), (0, BANNER, refused(music, cwd)))
        self.assertEqual(read(self.path("lists", "mine.m3u")), before)
        self.assertEqual(len(entries(read(os.path.join(cwd, "playlist.m3u")))), 1)

    def test_a_playlist_that_just_fits_max_path_leaves_no_temporary_file(self):
        # A folder text of 246 characters: its playlist just fits MAX_PATH,
        # and so does the temporary file, which is never left behind.
        deep = self.folder_of_246({"b.mp3": b""})
        cwd = self.folder("cwd")
        self.assertEqual(run([winpath(deep)], cwd), (0, BANNER, b""))
        self.assertEqual((os.listdir(cwd), [n for n in os.listdir(deep) if ".m3u" in n]),
                         ([], ["playlist.m3u"]))

    def start(self, *args):
        """Starts the stand-in program with args once it says it is ready.
        Signals go to it alone: Wine's own services, which the first program
        may start, must not get them."""
        p = subprocess.Popen(command(args, INTERRUPT), stdin=subprocess.PIPE,
                             stdout=subprocess.PIPE)
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
        p.stdin.flush()
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
            with open(os.path.join(music, "playlist.m3u"), "wb") as f:
                f.write(old)

    @unittest.skipUnless(INTERRUPT, "needs the stand-in program")
    def test_a_playlist_in_use_counts_as_failed(self):
        music = self.folder("music", {"a.mp3": b"", "playlist.m3u": HEADER})
        cwd = self.folder("cwd")
        self.start("--hold", winpath(music) + "\\playlist.m3u")
        self.assertEqual(run([winpath(music)], cwd), (0, BANNER, refused(music, cwd)))
        self.assertEqual(read(os.path.join(music, "playlist.m3u")), HEADER)
        self.assertEqual(len(entries(read(os.path.join(cwd, "playlist.m3u")))), 1)

    @unittest.skipUnless(INTERRUPT, "needs the stand-in program")
    def test_the_folder_held_is_the_one_scanned_and_written(self):
        # Held, it cannot be renamed; a link on the way to it, changed
        # meanwhile, leads neither the scan nor the playlist elsewhere.
        real = self.folder("real", {"r.mp3": b""})
        self.folder("decoy", {"d.mp3": b""})
        os.symlink("real", self.path("link"))
        p = self.start(winpath(self.path("link", "playlist.m3u")), "--held")
        self.assertEqual(run(["/c", "ren", winpath(real), "moved"], self.tmp, program="cmd")[0], 1)
        os.remove(self.path("link"))
        os.symlink("decoy", self.path("link"))
        p.stdin.write(b"go\n")
        p.stdin.flush()
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

    def test_a_folder_named_like_the_playlist_sends_it_to_the_current_folder(self):
        music, typed, want = self.music()
        os.mkdir(os.path.join(music, "playlist.m3u"))
        cwd = self.folder("cwd")
        self.assertEqual(run([typed], cwd), (0, BANNER, refused(music, cwd, b"Is a directory")))
        self.assertEqual(entries(read(os.path.join(cwd, "playlist.m3u"))), want)

    def test_links_back_onto_the_path_end_at_once(self):
        lp = self.folder("lp", {"song.mp3": b"", "sub/x.mp3": b""})
        other = self.folder("other", {"o.mp3": b""})
        for link, target in (("a", "."), ("b", "."), ("sub/up", ".."), ("ext", other)):
            os.symlink(target, os.path.join(lp, link))
        typed = winpath(lp).encode()
        rc, out, err = run([winpath(lp)], self.tmp)
        self.assertEqual((rc, out), (0, BANNER))
        self.assertEqual(entries(read(os.path.join(lp, "playlist.m3u"))),
                         sorted(typed + b"/" + n for n in (b"song.mp3", b"sub/x.mp3", b"ext/o.mp3")))
        self.assertEqual(sorted(err.split(b"\r\n")), [b""] + sorted(
            b"tonvelo: " + typed + b"/" + n + b": Too many levels of symbolic links"
            for n in (b"a", b"b", b"sub/up")))

    def test_below_a_link_the_scanned_folder_comes_round_as_a_plain_one(self):
        self.folder("M", {"Rock/r1.mp3": b"", "Jazz/j1.mp3": b""})
        os.symlink("..", self.path("M", "Rock", "Best-of"))
        rock = winpath(self.path("M", "Rock"))
        self.assertEqual(run([rock], self.tmp), (0, BANNER, b"tonvelo: " + rock.encode() +
                                                 b"/Best-of/Rock: Too many levels of symbolic links\r\n"))

    def test_folder_named_outside_the_code_page_is_the_one_scanned(self):
        # Each of these characters reaches the program as a byte of code
        # page 1252 that is not its Latin-1 self, or as "?".
        deep = self.folder("Don\u2019t Stop/\u20ac \u2013 \u2026 \u0153", {"a.mp3": b""})
        self.assertEqual(run([winpath(deep)], self.tmp), (0, BANNER, b""))
        got = entries(read(os.path.join(deep, "playlist.m3u")))
        self.assertEqual(len(got), 1)
        self.assertRegex(got[0], rb"^Z:\\[ -~]+/a\.mp3$")  # a short name, in ASCII

    def test_a_relative_folder_outside_the_code_page_is_the_one_scanned(self):
        self.folder("\u041a\u0438\u043d\u043e", {"k.mp3": b""})
        self.assertEqual(run(["\u041a\u0438\u043d\u043e"], self.tmp), (0, BANNER, b""))
        got = entries(read(self.path("playlist.m3u")))
        self.assertEqual(len(got), 1)
        self.assertRegex(got[0], rb"^[!-~]+/k\.mp3$")
        self.assertNotIn(b"?", got[0])

    def test_a_current_folder_outside_the_code_page_is_the_one_scanned(self):
        # The current folder, when it is the one scanned.
        cwd = self.folder("\u65e5\u672c", {"j.mp3": b""})
        self.assertEqual(run(["no-such-folder"], cwd), (0, BANNER + NOTICE, b""))
        got = entries(read(os.path.join(cwd, "playlist.m3u")))
        self.assertEqual(len(got), 1)
        self.assertRegex(got[0], rb"^Z:\\[ -~]+/j\.mp3$")
        self.assertNotIn(b"?", got[0])

    def test_a_latin1_folder_stays_as_typed(self):
        cafe = self.folder("caf\u00e9", {"a.mp3": b""})
        self.assertEqual(run([winpath(cafe)], self.tmp), (0, BANNER, b""))
        self.assertEqual(entries(read(os.path.join(cafe, "playlist.m3u"))),
                         [winpath(cafe).encode("latin-1") + b"/a.mp3"])

    def drive_relative(self):
        """A folder of a Latin-1 name, and its full path as the program
        gives it back."""
        dr = self.folder("dr\u00e9", {"c.mp3": b"", "music/m.mp3": b""})
        return dr, winpath(dr).encode("latin-1")

    def test_drive_relative_folders_give_entries_that_open(self):
        dr, full = self.drive_relative()
        self.assertEqual(run(["Z:"], dr), (0, BANNER, b""))
        self.assertEqual(entries(read(os.path.join(dr, "playlist.m3u"))),
                         [full + b"/c.mp3", full + b"/music/m.mp3"])
        self.assertEqual(run(["Z:music"], dr), (0, BANNER, b""))
        self.assertEqual(entries(read(os.path.join(dr, "music", "playlist.m3u"))),
                         [full + b"\\music/m.mp3"])

    def test_verbatim_folders_give_entries_that_open(self):
        # Below \\?\ only "\" separates, and never two in a row.
        dr, full = self.drive_relative()
        verbatim = b"\\\\?\\" + full
        for typed in (verbatim, verbatim + b"\\"):
            self.assertEqual(run([typed.decode("latin-1")], self.tmp), (0, BANNER, b""))
            self.assertEqual(entries(read(os.path.join(dr, "playlist.m3u"))),
                             [verbatim + b"\\c.mp3", verbatim + b"\\music\\m.mp3"])
            os.remove(os.path.join(dr, "playlist.m3u"))

    def test_failed_replacement_exits_2_and_leaves_no_temporary_file(self):
        self.folder("lib", {"a.mp3": b""})
        self.folder("playlist.m3u")  # a folder where the playlist would go
        rc, out, err = run(["lib"], self.tmp)
        self.assertEqual((rc, out), (2, BANNER))
        self.assertRegex(err, rb"^tonvelo: playlist\.m3u: [^\r\n]+\r\n$")
        self.assertEqual(sorted(os.listdir(self.tmp)), ["lib", "playlist.m3u"])
        self.assertEqual(os.listdir(self.path("playlist.m3u")), [])


if __name__ == "__main__":
    unittest.main()
