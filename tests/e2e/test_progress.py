"""The status line of a long scan: shown and erased on a terminal only."""
import os
import pty
import signal
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import BANNER, NOTICE, TreeCase, command, entries, read, read_all, shim  # noqa: E402

SLOW, NO_SLOW = shim("TONVELO_SLOW_READDIR", "slow readdir")


def screen(data):
    """The lines a terminal shows after data (its "\n" arrive as "\r\n"):
    each "\r" writes over the line from its start. Trailing blanks dropped."""
    lines = []
    for line in data.split(b"\n"):
        shown = bytearray()
        for part in line.split(b"\r"):
            shown[:len(part)] = part
        lines.append(bytes(shown).rstrip(b" "))
    return lines


@unittest.skipUnless(SLOW, NO_SLOW)
class StatusLine(TreeCase):
    def run_slow(self, stderr_on_tty, interrupt=False, notice=False, out_on_tty=True):
        """With notice, the folder named is missing and the current one, the
        music, is scanned: the notice comes first, on the same terminal
        unless out_on_tty is false."""
        env = dict(os.environ, LD_PRELOAD=SLOW, ASAN_OPTIONS="verify_asan_link_order=0")
        if interrupt:
            env["TONVELO_STALL"] = "1"
        master, slave = pty.openpty()
        args, cwd = (["missing"], self.music) if notice else ([self.music], self.tmp)
        # An interrupt ignored by whoever runs the test would stay ignored.
        p = subprocess.Popen(command(args), cwd=cwd, env=env,
                             stdout=slave if notice and out_on_tty else subprocess.PIPE,
                             stderr=slave if stderr_on_tty else subprocess.PIPE,
                             preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
        self.addCleanup(p.kill)  # what did not end in time
        os.close(slave)
        deadline = time.monotonic() + 60
        if stderr_on_tty:
            # An interrupt comes once the count is first on the line, where
            # the program waits for it.
            got = read_all(master, deadline, b"files found" if interrupt else None)
            if interrupt:
                p.send_signal(signal.SIGINT)
                got += read_all(master, deadline)
            out = read_all(p.stdout.fileno(), deadline) if p.stdout else None
        else:
            out, got = read_all(p.stdout.fileno(), deadline), read_all(p.stderr.fileno(), deadline)
        os.close(master)
        if out is not None:  # else the banner is on the terminal too
            self.assertEqual(out, BANNER + NOTICE * notice)
        playlist = os.path.join(self.music, "playlist.m3u")
        if interrupt:
            self.assertEqual(p.wait(60), -signal.SIGINT)
            self.assertFalse(os.path.exists(playlist))
        else:
            self.assertEqual(p.wait(60), 0)
            self.assertEqual(len(entries(read(playlist))), 1500)
        return got

    def setUp(self):
        super().setUp()
        try:
            for fd in pty.openpty():
                os.close(fd)
        except OSError:  # a bare chroot has no /dev/pts
            self.skipTest("no pseudo-terminal to be had")
        self.music = self.folder("m", {"d%02d/%03d.mp3" % (i // 50, i): b"" for i in range(1500)})

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

    def test_a_notice_on_the_line_stays_as_it_was(self):
        got = self.run_slow(stderr_on_tty=True, notice=True)
        self.assertIn(b"files found", got)
        self.assertEqual(screen(got), BANNER.split(b"\n")[:2] + [NOTICE, b""])

    def test_a_notice_elsewhere_leaves_the_line_to_the_count(self):
        got = self.run_slow(stderr_on_tty=True, notice=True, out_on_tty=False)
        self.assertRegex(got, rb"^\rtonvelo: \d+ files found")

    def test_pipe_sees_nothing(self):
        self.assertEqual(self.run_slow(stderr_on_tty=False), b"")


if __name__ == "__main__":
    unittest.main()
