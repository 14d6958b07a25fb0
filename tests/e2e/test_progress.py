"""The status line of a long scan: shown and erased on a terminal only."""
import os
import pty
import signal
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import BANNER, TreeCase, command, entries, read  # noqa: E402

SLOW = os.environ.get("TONVELO_SLOW_READDIR", "")


@unittest.skipUnless(SLOW, "needs the slow readdir shim")
class StatusLine(TreeCase):
    def run_slow(self, stderr_on_tty, interrupt=False):
        env = dict(os.environ, LD_PRELOAD=SLOW,
                   ASAN_OPTIONS="verify_asan_link_order=0")
        if interrupt:
            env["TONVELO_STALL"] = "1"
        master, slave = pty.openpty()
        err = slave if stderr_on_tty else subprocess.PIPE
        # An interrupt ignored by whoever runs the test would stay ignored.
        p = subprocess.Popen(command([self.music]), cwd=self.tmp, env=env,
                             stdout=subprocess.PIPE, stderr=err,
                             preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
        os.close(slave)
        if stderr_on_tty:
            got = b""
            while True:
                try:
                    chunk = os.read(master, 4096)
                except OSError:  # the terminal's other side is gone
                    break
                if not chunk:
                    break
                got += chunk
                if interrupt and b"files found" in got:
                    p.send_signal(signal.SIGINT)
                    interrupt = None
            out = p.stdout.read()
        else:
            out, got = p.communicate()
        os.close(master)
        playlist = os.path.join(self.music, "playlist.m3u")
        if interrupt is None:
            self.assertEqual((p.wait(), out), (-signal.SIGINT, BANNER))
            self.assertFalse(os.path.exists(playlist))
        else:
            self.assertEqual((p.wait(), out), (0, BANNER))
            self.assertEqual(len(entries(read(playlist))), 1500)
        return got

    def setUp(self):
        super().setUp()
        try:
            for fd in pty.openpty():
                os.close(fd)
        except OSError:  # a bare chroot has no /dev/pts
            self.skipTest("no pseudo-terminal to be had")
        self.music = self.folder("m", {"d%02d/%03d.mp3" % (i // 50, i): b""
                                       for i in range(1500)})

    def test_terminal_sees_a_count_then_a_clean_line(self):
        got = self.run_slow(stderr_on_tty=True)
        self.assertRegex(got, rb"^\rtonvelo: \d+ files found")
        self.assertNotIn(b"\n", got)
        # The last thing written blanks the line and returns to its start.
        last = got.rsplit(b"\r", 2)
        self.assertEqual((last[1].strip(b" "), last[2]), (b"", b""))

    def test_an_interrupt_erases_the_line_too(self):
        got = self.run_slow(stderr_on_tty=True, interrupt=True)
        last = got.rsplit(b"\r", 2)
        self.assertEqual((last[1].strip(b" "), last[2]), (b"", b""))

    def test_pipe_sees_nothing(self):
        self.assertEqual(self.run_slow(stderr_on_tty=False), b"")


if __name__ == "__main__":
    unittest.main()
