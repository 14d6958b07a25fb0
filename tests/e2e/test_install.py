"""Configure without the test tools, and cmake --install of the current build:
what lands where, and that it runs."""
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import HEADER, OK, TreeCase, read, run  # noqa: E402

CMAKE = os.environ.get("CMAKE_COMMAND", "")
CTEST = os.environ.get("CTEST_COMMAND", "")
BUILD = os.environ.get("TONVELO_BUILD_DIR", "")
SOURCE = os.environ.get("TONVELO_SOURCE_DIR", "")

# Installed path -> the source file it must be a copy of (None: built).
LAYOUT = {
    "bin/tonvelo": None,
    # The page as the build filled in its version.
    "share/man/man1/tonvelo.1": os.path.join(BUILD, "tonvelo.1"),
    "share/doc/tonvelo/README.md": "README.md",
    "share/doc/tonvelo/LICENSE": "LICENSE",
}


class Install(TreeCase):
    def setUp(self):
        super().setUp()
        if not (CMAKE and BUILD and SOURCE):
            self.skipTest("CMAKE_COMMAND, TONVELO_BUILD_DIR or TONVELO_SOURCE_DIR unset")
        self.prefix = self.path("prefix")
        p = subprocess.run([CMAKE, "--install", BUILD, "--prefix", self.prefix],
                           capture_output=True, timeout=120)
        self.assertEqual(p.returncode, 0, p.stdout + p.stderr)

    def test_program_man_page_and_notes_land_under_the_prefix(self):
        self.assertEqual(sorted(os.path.relpath(os.path.join(root, f), self.prefix)
                                for root, _, files in os.walk(self.prefix) for f in files),
                         sorted(LAYOUT))
        for rel, src in LAYOUT.items():
            mode = os.stat(os.path.join(self.prefix, rel)).st_mode & 0o777
            self.assertEqual(mode, 0o755 if src is None else 0o644, rel)
            if src is not None:
                self.assertEqual(read(os.path.join(self.prefix, rel)),
                                 read(os.path.join(SOURCE, src)), rel)

    def test_installed_program_writes_the_playlist(self):
        program = os.path.join(self.prefix, "bin", "tonvelo")
        self.folder("music", {"a.mp3": b"1", "sub/b.flac": b"2",
                              "cover.jpg": b"3", "old.m3u": b"4"})
        self.assertEqual(run(["music"], self.tmp, program=program), OK)
        self.assertIn(read(self.path("playlist.m3u")), (
            HEADER + b"music/a.mp3\nmusic/sub/b.flac\n",
            HEADER + b"music/sub/b.flac\nmusic/a.mp3\n"))
        self.assertEqual(run(["--version"], self.tmp, program=program), OK)


class Configure(TreeCase):
    def test_tests_are_off_while_a_tool_is_missing_and_on_once_it_is_there(self):
        if not (CMAKE and CTEST and SOURCE):
            self.skipTest("CMAKE_COMMAND, CTEST_COMMAND or TONVELO_SOURCE_DIR unset")
        build = self.path("build")
        tail = b" not found; sh tests/run.sh installs what is missing and runs the tests"
        for options, missing in (
                (["-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON",
                  "-DGOOGLETEST_SOURCE_DIR=" + self.path("none")], b"GoogleTest"),
                (["-UCMAKE_DISABLE_FIND_PACKAGE_GTest", "-UGOOGLETEST_SOURCE_DIR",
                  "-DCMAKE_DISABLE_FIND_PACKAGE_Python3=ON"], b"Python 3"),
                (["-UCMAKE_DISABLE_FIND_PACKAGE_Python3"], None)):
            p = subprocess.run([CMAKE, "-S", SOURCE, "-B", build] + options,
                               capture_output=True, timeout=300)
            self.assertEqual(p.returncode, 0, p.stdout + p.stderr)
            said = [line for line in (p.stdout + p.stderr).splitlines() if b"Tests off" in line]
            listed = subprocess.run([CTEST, "--test-dir", build, "-N"],
                                    capture_output=True, timeout=60).stdout
            if missing:
                self.assertEqual(said, [b"-- Tests off: " + missing + tail], options)
                self.assertIn(b"Total Tests: 0\n", listed, options)
            else:
                self.assertEqual(said, [])
                self.assertRegex(listed, rb"Total Tests: [1-9]")


if __name__ == "__main__":
    unittest.main()
