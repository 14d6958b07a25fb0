"""Trees that fight back: unreadable folders, few descriptors, links, odd names."""
import os
import re
import resource
import shutil
import socket
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import (BANNER, FIFO, HEADER, IS_ROOT, OK, TreeCase, Typed, command,  # noqa: E402
                     entries, make_deep, make_tree, read, run, run_command)

LOOP = b": Too many levels of symbolic links\n"
ON_PATH = b": folder already on this path, not entered\n"
PYTHON = "/usr/bin/python3"  # Debian's, with its FUSE bindings
IDFS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "idfs.py")

# Trees that fight back in a single run each.
HOSTILE = [
    # An unreadable subfolder costs one line.
    Typed({"m/a.mp3": b"", "m/locked/x.mp3": b"", "m/z/b.mp3": b""}, ["../m"],
          (0, BANNER, b"opendir: Permission denied\n"), "cwd/playlist.m3u",
          [b"../m/a.mp3", b"../m/z/b.mp3"], modes={"m/locked": 0, "cwd": 0o777}, user=True),
    # Folders coming round again are reported, not entered.
    Typed({"m/a/b/x.mp3": b"", "m/c/y.mp3": b"", "m/a/b/up": "..", "m/a/b/side": "../../c"},
          ["m"], (0, BANNER, b"tonvelo: m/a/b/up" + LOOP), "playlist.m3u",
          re.compile(rb"^(m/a/b/side/y\.mp3\nm/a/b/x\.mp3|m/a/b/x\.mp3\nm/c/y\.mp3)$"), cwd="."),
    # A link to the folder above: below it the scanned folder comes round
    # again as a plain folder.
    Typed({"M/Rock/r1.mp3": b"", "M/Jazz/j1.mp3": b"", "M/Rock/Best-of": ".."}, ["{tmp}/M/Rock"],
          (0, BANNER, b"tonvelo: {tmp}/M/Rock/Best-of/Rock" + LOOP), "M/Rock/playlist.m3u",
          [b"{tmp}/M/Rock/Best-of/Jazz/j1.mp3", b"{tmp}/M/Rock/r1.mp3"], cwd="."),
    # A folder text with a line break writes nothing.
    Typed({"we\nird/s.mp3": b"", "playlist.m3u": HEADER + b"m/ok.mp3\n"}, ["we\nird"],
          (2, BANNER, b"tonvelo: we\\nird: line break in name, left out\n"), cwd="."),
    # A folder starting with "#" or a blank keeps its entries playable; a
    # ":" in the first component reads as a URL scheme, only there.
    *(Typed({name + "/a.mp3": b""}, [name], OK, "playlist.m3u",
            [prefix + name.encode() + b"/a.mp3"], cwd=".")
      for name, prefix in (("#mix", b"./"), (" mix", b"./"), ("\tmix", b"./"),
                           ("Live: 1999", b"./"), ("http:mix", b"./"), ("d/x:y", b""))),
]


class HostileTrees(TreeCase):
    def test_trees_that_fight_back(self):
        self.check_typed(HOSTILE)

    def test_running_out_of_descriptors_deep_down(self):
        # f0.mp3, d0/f1.mp3, d0/d1/f2.mp3 and so on, 40 folders down.
        paths = ["/".join(["d%d" % j for j in range(i)] + ["f%d.mp3" % i]) for i in range(41)]
        m = self.folder("m", dict.fromkeys(paths, b""))
        got = run([m], self.tmp, preexec=lambda: resource.setrlimit(
            resource.RLIMIT_NOFILE, (12, 12)))
        got = self.listed(got, "m/playlist.m3u", (0, BANNER, b"opendir: Too many open files\n"))
        depth = len(got)
        self.assertTrue(2 <= depth < 41, depth)
        self.assertEqual(got, sorted((m + "/" + p).encode() for p in paths[:depth]))
        # A soft limit below the hard one is raised to it: a tree deeper than
        # the soft limit is listed down to its bottom.
        bottom = self.path("deep", *["d"] * 300, "bottom.mp3")
        make_tree(self.tmp, {bottom: b""})
        got = run(["deep"], self.tmp, preexec=lambda: resource.setrlimit(
            resource.RLIMIT_NOFILE, (256, 1024)))
        self.assertEqual(self.listed(got, "playlist.m3u"),
                         [os.path.relpath(bottom, self.tmp).encode()])

    def test_links_special_files_and_odd_names(self):
        outside = self.folder("outside", {"o.mp3": b""})
        m = self.folder("m", {"a b.mp3": b"", ".dot": b"", "\u00e9t\u00e9.ogg": b"",
                              "empty": None, "real/r.mp3": b"",
                              b"bad\xff\xfe.mp3".decode("utf-8", "surrogateescape"): b"",
                              "dangling": "nowhere", "tofile": "a b.mp3", "out": outside,
                              "again": "real", "fifo": FIFO})
        s = socket.socket(socket.AF_UNIX)
        s.bind(os.path.join(m, "sock"))
        self.addCleanup(s.close)
        got = self.listed(run(["m///"], self.tmp), "playlist.m3u")
        names = [b"a b.mp3", b".dot", "\u00e9t\u00e9.ogg".encode(), b"bad\xff\xfe.mp3",
                 b"dangling", b"tofile", b"out/o.mp3", b"fifo", b"sock"]
        # "again" and "real" are one folder, listed once under the first.
        self.assertIn(got, [sorted(b"m///" + n for n in names + [d + b"/r.mp3"])
                            for d in (b"again", b"real")])

    @unittest.skipUnless(IS_ROOT, "needs root, to lock a folder away from another user")
    def test_links_that_cannot_be_followed_are_reported_not_listed(self):
        self.folder("Private", {"Album2/p.mp3": b""}, mode=0o700)
        self.folder("Music", {"Album/a.mp3": b"", "Album 2 link": "../Private/Album2",
                              "self": "self", "dangling": "nowhere",
                              "through a file": "Album/a.mp3/x", "Shared link": "../Shared"})
        # Below a link, a folder that may be read but not searched: its
        # subfolder is said as one that cannot be opened.
        os.chmod(self.folder("Shared", {"x/sub/s.mp3": b""}, mode=0o755) + "/x", 0o744)
        cwd = self.folder("cwd", mode=0o777)
        rc, _, err = self.run_unprivileged(["../Music"], cwd)
        self.assertEqual(rc, 0)
        self.assertEqual(sorted(err.splitlines(True)), [
            b"opendir: Permission denied\n",
            b"tonvelo: ../Music/Album 2 link: Permission denied\n",
            b"tonvelo: ../Music/self" + LOOP])
        self.assertEqual(entries(read(os.path.join(cwd, "playlist.m3u"))),
                         [b"../Music/Album/a.mp3", b"../Music/dangling",
                          b"../Music/through a file"])

    def test_every_folder_is_walked_once_however_it_is_reached(self):
        # A library's views made of links list each song once, however
        # many folders were walked meanwhile; a ladder of links, two to
        # each next level, costs no more than its folders.
        ladder = {"l%d/%s" % (i, n): "../l%d" % (i + 1) for i in range(40) for n in "ab"}
        self.folder("m", dict({"Artists/X/s.mp3": b"", "Genres/Rock/X": "../../Artists/X",
                               "l40/t.mp3": b""},
                              **{"Artists/X/%d" % i: None for i in range(600)}, **ladder))
        got = self.listed(run(["m"], self.tmp), "playlist.m3u")
        self.assertEqual(sorted(p.rsplit(b"/", 1)[1] for p in got), [b"s.mp3", b"t.mp3"])
        # The view listed before the folder it leads to and after it: A and
        # B come in one order, whichever it is, and change places.
        for real, view in ("AB", "BA"):
            v = self.folder("v" + real, {"A": None, "B": None, real + "/X/s.mp3": b""})
            os.symlink("../%s/X" % real, os.path.join(v, view, "X"))
            got = self.listed(run([v], self.tmp), os.path.join(v, "playlist.m3u"))
            self.assertEqual([p.rsplit(b"/", 1)[1] for p in got], [b"s.mp3"])

    def run_after_mounting(self, mounts, folder="T"):
        """Runs the program on folder after the shell commands mounts, in
        mount and PID namespaces of its own: the one a chroot cannot give,
        the other ending what the mounts started (FUSE servers) once T is
        unmounted. Skips where the mounts fail."""
        ns = ["unshare", "-m", "-p", "-f"]
        if not IS_ROOT or run_command(ns + ["true"], self.tmp)[0] != 0:
            self.skipTest("needs root, and mount and PID namespaces")
        rc, out, err = run_command(ns + ["sh", "-c", "{ %s; } || exit 77\n"
                                         '"$@"; s=$?; umount -R T 2>/dev/null; exit $s' % mounts,
                                         "sh"] + command([folder]), self.tmp)
        if rc == 77 and out == b"":
            self.skipTest("cannot mount: " + err.decode(errors="replace").strip().split("\n")[-1])
        return rc, out, err

    def test_folders_reached_without_links_are_all_walked_whatever_their_numbers(self):
        # Through FUSE: mergerfs passing on the numbers of two fresh tmpfs,
        # which number alike; a file system of the tests' own giving no
        # numbers, one number to all folders of a level, numbers past 32 bits.
        make_tree(self.tmp, {"src/Artist A/Album 1/a.mp3": b"", "src/Artist B/Album 2/b.mp3": b"",
                             "b1": None, "b2": None, "T": None})
        union = ("mount -t tmpfs none b1 && mount -t tmpfs none b2 && "
                 "cp -r 'src/Artist A' b1 && cp -r 'src/Artist B' b2 && " +
                 'mergerfs -o use_ino,inodecalc=passthrough "$PWD/b1:$PWD/b2" T' +
                 " && [ $(stat -c %i 'T/Artist A/Album 1') = $(stat -c %i 'T/Artist B/Album 2') ]")
        for how in ("mergerfs", "zero", "level", "high"):
            with self.subTest(how=how):
                got = self.run_after_mounting(
                    union if how == "mergerfs" else " ".join((PYTHON, IDFS, how, "src T")))
                self.assertEqual(self.listed(got, "playlist.m3u"),
                                 [b"T/Artist A/Album 1/a.mp3", b"T/Artist B/Album 2/b.mp3"])

    def test_a_folder_mounted_inside_itself_is_reported_not_entered(self):
        self.folder("T", {"t.mp3": b"", "a/x.mp3": b"", "a/c1": None})
        got = self.run_after_mounting("mount --bind T T/a/c1")
        said = (0, BANNER, b"tonvelo: T/a/c1" + ON_PATH)
        self.assertEqual(self.listed(got, "playlist.m3u", said), [b"T/a/x.mp3", b"T/t.mp3"])

    def test_a_folder_of_another_file_system_with_the_same_inode_is_entered(self):
        # The roots of two fresh tmpfs mounts share inode 1: only the
        # device tells them apart.
        self.folder("T")
        got = self.run_after_mounting(
            "mount -t tmpfs none T && mkdir T/x && mount -t tmpfs none T/x && "
            ": >T/t.mp3 && : >T/x/y.mp3")
        self.assertEqual(self.listed(got, "playlist.m3u"), [b"T/t.mp3", b"T/x/y.mp3"])

    def test_numbers_past_32_bits_are_no_trouble(self):
        # Dates past 2038: an old playlist, and a folder reached twice.
        m = self.folder("m", {"a.mp3": b"", "sub/x.mp3": b"", "playlist.m3u": HEADER,
                              "link": "sub"})
        for name in ("playlist.m3u", "sub"):
            os.utime(os.path.join(m, name), (2208988800, 2208988800))  # 2040-01-01
        self.assertIn(self.listed(run([m], self.tmp), os.path.join(m, "playlist.m3u")),
                      ([m.encode() + b"/a.mp3", m.encode() + d + b"/x.mp3"]
                       for d in (b"/link", b"/sub")))
        # Inode numbers past 2^63, as overlayfs gives a layer of another file
        # system, a file past 4 GiB and an old playlist of 2040 among them.
        # The new playlist lands in the upper layer, which outlives the mount.
        t = self.folder("T")
        got = self.run_after_mounting(
            "mkdir L U U/u U/w && mount -t tmpfs none L && mkdir L/d && "
            ": >L/a.mp3 && : >L/d/b.mp3 && truncate -s 5G L/big.flac && "
            ": >L/playlist.m3u && touch -d 2040-01-01 L/playlist.m3u && "
            "mount -t overlay none -o lowerdir=L,upperdir=U/u,workdir=U/w,xino=on T && "
            "stat -c %i T/d/b.mp3 | awk '$1 < 2^32 { exit 1 }' || "
            "{ echo no inode numbers past 2^32 >&2; false; }", t)
        self.assertEqual(self.listed(got, "U/u/playlist.m3u"),
                         [t.encode() + n for n in (b"/a.mp3", b"/big.flac", b"/d/b.mp3")])

    @unittest.skipUnless(shutil.which("strace"), "needs strace")
    def test_read_error_inside_a_folder_is_reported(self):
        m = self.folder("m", {"f%04d.mp3" % i: b"" for i in range(3000)})
        # The second getdents64 inside m fails: only m's count, as an
        # emulator reads folders of its own.
        got = run_command(["strace", "-o", "/dev/null", "-P", m, "-e",
                           "inject=getdents64:error=EIO:when=2"] + command(["m"]),
                          self.tmp, env={"ASAN_OPTIONS": "detect_leaks=0"})
        got = self.listed(got, "playlist.m3u", (0, BANNER, b"tonvelo: m: Input/output error\n"))
        self.assertTrue(0 < len(got) < 3000, len(got))
        self.assertTrue(set(got) <= {b"m/" + n.encode() for n in os.listdir(m)})

    def test_long_paths_are_kept_whole_until_the_system_limit(self):
        level = self.folder("m")
        for i in range(22):  # the 22nd folder of 190 bytes passes 4095 bytes
            make_deep(level, ["f%02d.mp3" % i])
            level += "/" + ("%02d" % i) * 95
        make_deep(level)
        # The deepest folder's text is "m" and 21 levels: 4012 bytes. Joined
        # paths of exactly 4095 bytes fit, with the terminator; 4096 do not.
        # One left out for its name gets no report.
        make_deep(os.path.dirname(level), ["x" * 82, "y" * 83, "z" * 79 + ".jpg"])
        rc, _, err = run(["m"], self.tmp)
        got = entries(read(self.path("playlist.m3u")))
        self.assertEqual(rc, 0)
        self.assertEqual(sorted(len(p) for p in got)[-2:], [4020, 4095])
        self.assertTrue(max(got, key=len).endswith(b"/" + b"x" * 82))
        self.assertEqual(len(got), 23)
        # In the order the folder lists them, which differs between file systems.
        self.assertRegex(b"".join(sorted(err.splitlines(True))),
                         rb"^tonvelo: m/(\d+/){21}(21)+: File name too long\n"
                         rb"tonvelo: m/(\d+/){21}y{83}: File name too long\n$")

    def test_line_breaks_are_reported_escaped_and_left_out(self):
        # C1 controls too, raw or in UTF-8 (CSI to many terminals); other
        # characters, with bytes of that range inside, stay as they are.
        c1 = b"e\n\x9b\xc2\x9b\xe0\x82\x9b\xc3\x9b\xe2\x80\x93".decode("utf-8", "surrogateescape")
        self.folder("m", {"ok.mp3": b"", "a\nb.mp3": b"", "x\ry/in.mp3": b"",
                          "c\nd.jpg": b"", "f\x7f\x01a\n.mp3": b"", c1: b""})
        rc, _, err = run(["m/"], self.tmp)  # reports join as entries do
        self.assertEqual(rc, 0)
        self.assertEqual(sorted(err.splitlines()), [
            b"tonvelo: m/a\\nb.mp3: line break in name, left out",
            b"tonvelo: m/e\\n\\x9b\\xc2\\x9b\xe0\\x82\\x9b\xc3\x9b\xe2\x80\x93: "
            b"line break in name, left out",
            b"tonvelo: m/f\\x7f\\x01a\\n.mp3: line break in name, left out",
            b"tonvelo: m/x\\ry: line break in name, left out"])
        self.assertEqual(entries(read(self.path("playlist.m3u"))), [b"m/ok.mp3"])

    def test_a_playlist_on_fat_never_lists_itself(self):
        """FAT ignores case: an old PLAYLIST.M3U is the file written."""
        mnt = self.folder("mnt")
        if not self.mount_fat(mnt):
            self.skipTest("no FAT: needs mkfs.vfat and root for vfat, or fusefat and /dev/fuse")
        make_tree(mnt, {"music/a.mp3": b"1", "music/PLAYLIST.M3U": HEADER + b"x.mp3\n"})
        music = os.path.join(mnt, "music")
        for args, cwd in (([music], self.tmp), (["."], music)):
            got = self.listed(run(args, cwd), os.path.join(music, "playlist.m3u"), msg=args)
            self.assertEqual([os.path.basename(p) for p in got], [b"a.mp3"], args)

    def mount_fat(self, mnt):
        """Mounts a new FAT image on mnt, unmounted however the test ends;
        false when none can be had."""
        mkfs = shutil.which("mkfs.vfat") or shutil.which("mkfs.vfat", path="/sbin:/usr/sbin")
        image = self.path("fat.img")
        with open(image, "wb") as f:
            f.truncate(8 << 20)
        if not mkfs or subprocess.run([mkfs, image], capture_output=True).returncode != 0:
            return False
        for cmd in (["mount", "-t", "vfat", "-o", "loop", image, mnt],
                    ["fusefat", "-o", "rw+", image, mnt]):
            # fusefat says 0 even when it could not mount.
            if shutil.which(cmd[0]) and subprocess.run(cmd, capture_output=True).returncode == 0 \
                    and os.path.ismount(mnt):
                self.addCleanup(self.unmount, mnt)
                return True
        return False

    def unmount(self, mnt):
        """umount as root, else FUSE's helper (fusermount3 since fuse 3);
        detached lazily if busy, so that no mount outlives the test."""
        for cmd in (["umount"], ["fusermount3", "-u"], ["fusermount", "-u"],
                    ["umount", "-l"], ["fusermount3", "-uz"], ["fusermount", "-uz"]):
            if os.path.ismount(mnt) and shutil.which(cmd[0]):
                subprocess.run(cmd + [mnt], capture_output=True)
        self.assertFalse(os.path.ismount(mnt), "still mounted: " + mnt)

    def test_a_list_of_many_blocks_is_written_whole_and_released(self):
        # Over 2 MiB of paths: the sanitizers' leak check sees every block.
        m = self.folder("m", {"%s%05d.flac" % ("n" * 240, i): b"" for i in range(9000)})
        got = self.listed(run([m], self.tmp), os.path.join(m, "playlist.m3u"))
        self.assertEqual(got, sorted(m.encode() + b"/" + n.encode() for n in os.listdir(m)
                                     if n != "playlist.m3u"))


if __name__ == "__main__":
    unittest.main()
