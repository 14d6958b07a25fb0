"""The command line, where the playlist lands, exclusions and write faults."""
import os
import resource
import signal
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import (BANNER, HEADER, IS_ROOT, NOTICE, USAGE, TreeCase,  # noqa: E402
                     entries, read, run)

ALBUM = {"a.mp3": b"1", "b.flac": b"2", "sub/c.ogg": b"3"}


class CommandLine(TreeCase):
    def test_no_argument_prints_usage_and_touches_nothing(self):
        cwd = self.folder("cwd")
        for args in ([], ["--"]):
            self.assertEqual(run(args, cwd), (1, BANNER + USAGE, b""), args)
        self.assertEqual(os.listdir(cwd), [])

    def test_help_and_version_exit_0_without_writing(self):
        cwd = self.folder("cwd", {"x.mp3": b""})
        for arg, want in (("--help", BANNER + USAGE), ("-h", BANNER + USAGE),
                          ("--version", BANNER)):
            self.assertEqual(run([arg], cwd), (0, want, b""), arg)
        self.assertEqual(os.listdir(cwd), ["x.mp3"])
        # A folder of that name is still reachable, and so is one after "--".
        self.folder("cwd/--help", {"y.mp3": b""})
        self.folder("cwd/-f", {"z.mp3": b""})
        for args, want in ((["./--help"], b"./--help/y.mp3"),
                           (["--", "--help"], b"--help/y.mp3"),
                           (["--", "-f", "x"], b"-f/z.mp3")):
            self.assertEqual(run(args, cwd), (0, BANNER, b""), args)
            self.assertEqual(entries(read(os.path.join(cwd, "playlist.m3u"))), [want])

    @unittest.skipUnless(os.path.exists("/dev/full"), "needs /dev/full")
    def test_help_and_version_that_cannot_be_written_exit_2(self):
        def full():
            os.dup2(os.open("/dev/full", os.O_WRONLY), 1)
        for arg in ("--help", "--version"):
            for into, reason in ((full, b"No space left on device"),
                                 (lambda: os.close(1), b"Bad file descriptor")):
                self.assertEqual(run([arg], self.tmp, preexec=into),
                                 (2, b"", b"tonvelo: standard output: " + reason + b"\n"), arg)
        # A scan's banner is decoration: the playlist is what counts.
        self.folder("music", ALBUM)
        self.assertEqual(run(["music"], self.tmp, preexec=full), (0, b"", b""))
        self.assertEqual(len(entries(read(self.path("playlist.m3u")))), 3)

    def test_extra_arguments_are_ignored(self):
        music = self.folder("music", ALBUM)
        rc, out, err = run([music, "extra", "--help"], self.tmp)
        self.assertEqual((rc, out, err), (0, BANNER, b""))
        self.assertEqual(entries(read(os.path.join(music, "playlist.m3u"))),
                         sorted(music.encode() + b"/" + n.encode() for n in ALBUM))

    def test_missing_or_empty_name_scans_the_current_directory(self):
        cwd = self.folder("cwd", {"a.mp3": b"", "d/b.mp3": b""})
        for arg in ("no-such-folder", ""):
            rc, out, err = run([arg], cwd)
            self.assertEqual((rc, out, err), (0, BANNER + NOTICE, b""), arg)
            want = [cwd.encode() + b"/a.mp3", cwd.encode() + b"/d/b.mp3"]
            self.assertEqual(entries(read(os.path.join(cwd, "playlist.m3u"))), want)

    def test_plain_file_gives_one_opendir_line_and_a_bare_playlist(self):
        cwd = self.folder("cwd", {"song.mp3": b"x"})
        for arg in ("song.mp3", os.path.join(cwd, "song.mp3")):
            rc, out, err = run([arg], cwd)
            self.assertEqual((rc, out, err),
                             (0, BANNER, b"opendir: Not a directory\n"), arg)
            self.assertEqual(read(os.path.join(cwd, "playlist.m3u")), HEADER)


class WhereItLands(TreeCase):
    def test_absolute_folder_gets_the_playlist_with_separators_as_typed(self):
        music = self.folder("music", ALBUM)
        cwd = self.folder("cwd")
        rc, _, _ = run([music + "//"], cwd)
        self.assertEqual(rc, 0)
        self.assertEqual(os.listdir(cwd), [])
        got = entries(read(os.path.join(music, "playlist.m3u")))
        self.assertEqual(got, [music.encode() + b"///a.mp3",
                               music.encode() + b"///b.flac",
                               music.encode() + b"///sub/c.ogg"])

    def test_relative_folder_puts_the_playlist_in_the_current_directory(self):
        self.folder("music", ALBUM)
        rc, _, _ = run(["music/"], self.tmp)
        self.assertEqual(rc, 0)
        self.assertFalse(os.path.exists(self.path("music", "playlist.m3u")))
        self.assertEqual(entries(read(self.path("playlist.m3u"))),
                         [b"music//a.mp3", b"music//b.flac", b"music//sub/c.ogg"])

    def test_rerun_replaces_the_playlist_and_skips_it(self):
        music = self.folder("music", ALBUM)
        for _ in range(2):
            self.assertEqual(run([music], self.tmp)[0], 0)
        data = read(os.path.join(music, "playlist.m3u"))
        self.assertEqual(len(entries(data)), 3)
        self.assertEqual(sorted(os.listdir(music)),
                         ["a.mp3", "b.flac", "playlist.m3u", "sub"])

    def test_order_changes_between_runs(self):
        music = self.folder("music", {"%02d.mp3" % i: b"" for i in range(30)})
        seen = set()
        for _ in range(3):
            run([music], self.tmp)
            seen.add(read(os.path.join(music, "playlist.m3u")))
        self.assertGreater(len(seen), 1)


class Exclusions(TreeCase):
    def test_rules_look_at_the_whole_joined_path(self):
        self.folder("m", {
            "cover.jpg": b"", "x.jpg.mp3": b"", "list.m3u8": b"", "old.m3u": b"",
            "COVER.JPG": b"", "photo.jpeg": b"", ".hidden": b"", "README": b"",
            "notes.txt": b"", "art.jpgs/inner.mp3": b"", "art.jpgs/deep/x.ogg": b"",
            "pl.m3u.d/y.mp3": b"", "ok/z.mp3": b"", "empty": None,
        })
        rc, _, err = run(["m"], self.tmp)
        self.assertEqual((rc, err), (0, b""))
        self.assertEqual(entries(read(self.path("playlist.m3u"))), [
            b"m/.hidden", b"m/COVER.JPG", b"m/README", b"m/notes.txt",
            b"m/ok/z.mp3", b"m/photo.jpeg"])

    def test_folder_text_holding_jpg_excludes_everything(self):
        self.folder("a.jpg", {"song.mp3": b"", "d/t.mp3": b""})
        self.assertEqual(run(["a.jpg"], self.tmp)[0], 0)
        self.assertEqual(read(self.path("playlist.m3u")), HEADER)


class WriteFaults(TreeCase):
    def test_unwritable_folder_falls_back_to_the_current_directory(self):
        prog = self.program_for_user()
        music = self.folder("music", ALBUM, mode=0o555)
        cwd = self.folder("cwd", mode=0o777)
        rc, out, err = run([music], cwd, user=True, program=prog)
        self.assertEqual((rc, out, err), (0, BANNER, b""))
        self.assertFalse(os.path.exists(os.path.join(music, "playlist.m3u")))
        self.assertEqual(len(entries(read(os.path.join(cwd, "playlist.m3u")))), 3)

    def test_nowhere_to_write_exits_2_and_says_why(self):
        prog = self.program_for_user()
        music = self.folder("music", ALBUM, mode=0o555)
        cwd = self.folder("cwd", mode=0o555)
        rc, out, err = run([music], cwd, user=True, program=prog)
        self.assertEqual((rc, out), (2, BANNER))
        self.assertEqual(err, b"tonvelo: playlist.m3u: Permission denied\n")
        self.assertEqual(os.listdir(cwd), [])

    def test_file_size_limit_exits_2_and_keeps_the_old_playlist(self):
        music = self.folder("music", {"track%04d.mp3" % i: b"" for i in range(200)})
        old = HEADER + b"/old/one.mp3\n"
        with open(os.path.join(music, "playlist.m3u"), "wb") as f:
            f.write(old)

        def limit():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (1000, 1000))

        rc, out, err = run([music], self.tmp, preexec=limit)
        self.assertEqual((rc, out), (2, BANNER))
        self.assertEqual(err, b"tonvelo: " + music.encode() +
                         b"/playlist.m3u: File too large\n")
        self.assertEqual(read(os.path.join(music, "playlist.m3u")), old)
        self.assertEqual(sorted(n for n in os.listdir(music) if "playlist" in n),
                         ["playlist.m3u"])

    @unittest.skipUnless(os.path.exists("/dev/full"), "needs /dev/full")
    def test_disk_full_exits_2(self):
        music = self.folder("music", ALBUM)
        os.symlink("/dev/full", os.path.join(music, "playlist.m3u.tmp0"))
        # The leftover name is taken, so the next one is used: still fine.
        self.assertEqual(run([music], self.tmp)[0], 0)
        self.assertEqual(len(entries(read(os.path.join(music, "playlist.m3u")))), 3)


if __name__ == "__main__":
    unittest.main()
