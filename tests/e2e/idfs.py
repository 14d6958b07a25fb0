"""A read-only FUSE view of a folder whose inode numbers the test chooses.

    /usr/bin/python3 idfs.py MODE SOURCE MOUNTPOINT

MODE zero: every inode number 0 (but in readdir's records); level: 1 and
the number of folders above, so that the folders of one level share one
number, as on file systems that reuse numbers, and none has the number of
a folder above it; high: the real number plus 2**40.
Mounted with use_ino, so that stat and readdir give these numbers; returns
once mounted, the server running on until the mount goes.
"""
import os
import sys

from fusepy import FUSE, FuseOSError, Operations

KEYS = ("st_mode", "st_nlink", "st_uid", "st_gid", "st_size",
        "st_atime", "st_mtime", "st_ctime")


class IdFs(Operations):
    def __init__(self, source, number):
        self.source, self.number = source, number

    def attrs(self, path, record=False):
        try:
            st = os.lstat(self.source + path)
        except OSError as e:
            raise FuseOSError(e.errno)
        ino = self.number(path, st.st_ino)
        # A record of number 0 is one that C libraries skip as deleted.
        return dict({k: getattr(st, k) for k in KEYS},
                    st_ino=ino if ino or not record else st.st_ino)

    def getattr(self, path, fh=None):
        return self.attrs(path)

    def readdir(self, path, fh):
        # With their attributes: the numbers and types come in the records.
        names = os.listdir(self.source + path)
        return [".", ".."] + [(n, self.attrs(os.path.join(path, n), True), 0) for n in names]

    def readlink(self, path):
        return os.readlink(self.source + path)

    def read(self, path, size, offset, fh):
        with open(self.source + path, "rb") as f:
            f.seek(offset)
            return f.read(size)


if __name__ == "__main__":
    mode, source, mountpoint = sys.argv[1:]
    number = {"zero": lambda path, ino: 0,
              "level": lambda path, ino: 1 + path.rstrip("/").count("/"),
              "high": lambda path, ino: ino + 2**40}[mode]
    FUSE(IdFs(os.path.abspath(source), number), mountpoint, foreground=False,
         ro=True, use_ino=True, allow_other=True)
