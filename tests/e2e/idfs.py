"""A read-only FUSE view of folder SOURCE on MOUNTPOINT, with use_ino, in
which stat and readdir give the inode numbers of MODE: zero, every one 0
(readdir's records keep theirs: C libraries skip records of number 0);
level, 1 and the number of folders above, shared by the folders of a level
and never that of a folder above; high, the real one plus 2**40. Returns
once mounted; the server runs until the mount goes.

    /usr/bin/python3 idfs.py MODE SOURCE MOUNTPOINT
"""
import os
import sys

from fusepy import FUSE, FuseOSError, Operations

NUMBERS = {"zero": lambda path, ino: 0,
           "level": lambda path, ino: 1 + path.rstrip("/").count("/"),
           "high": lambda path, ino: ino + 2**40}


class IdFs(Operations):
    def __init__(self, source, number):
        self.source, self.number = source, number

    def getattr(self, path, fh=None, record=False):
        try:
            st = os.lstat(self.source + path)
        except OSError as e:
            raise FuseOSError(e.errno)
        keys = ("st_mode", "st_nlink", "st_uid", "st_gid", "st_size", "st_mtime")
        ino = self.number(path, st.st_ino)
        return dict({k: getattr(st, k) for k in keys},
                    st_ino=ino if ino or not record else st.st_ino)

    def readdir(self, path, fh):
        return [".", ".."] + [(n, self.getattr(os.path.join(path, n), record=True), 0)
                              for n in os.listdir(self.source + path)]

    def readlink(self, path):
        return os.readlink(self.source + path)

    def read(self, path, size, offset, fh):
        with open(self.source + path, "rb") as f:
            f.seek(offset)
            return f.read(size)


if __name__ == "__main__":
    mode, source, mountpoint = sys.argv[1:]
    FUSE(IdFs(os.path.abspath(source), NUMBERS[mode]), mountpoint, foreground=False,
         ro=True, use_ino=True, allow_other=True)
