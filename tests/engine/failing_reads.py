#!/usr/bin/python3
"""A read-only FUSE file system that serves a folder and fails chosen reads
of one file once, with EIO, as a card reader does at a bad sector.

Usage: failing_reads.py <folder> <mount point> <file name> <offset>...
Each read of <file name> whose range holds one of the offsets fails once and
says so on standard error ("failing read at <offset>"). Runs in the
foreground until the file system is unmounted. Needs python3-fusepy."""
import errno
import os
import sys
import threading

from fusepy import FUSE, FuseOSError, Operations


class FailingReads(Operations):
    def __init__(self, root, name, offsets):
        self.root = root
        self.name = '/' + name
        self.pending = sorted(offsets)
        self.guard = threading.Lock()

    def getattr(self, path, fh=None):
        st = os.lstat(self.root + path)
        keys = ('st_atime', 'st_ctime', 'st_gid', 'st_mode', 'st_mtime', 'st_nlink', 'st_size', 'st_uid')
        return {key: getattr(st, key) for key in keys}

    def readdir(self, path, fh):
        return ['.', '..'] + os.listdir(self.root + path)

    def open(self, path, flags):
        return os.open(self.root + path, os.O_RDONLY)

    def read(self, path, size, offset, fh):
        if path == self.name:
            with self.guard:
                hit = [o for o in self.pending if offset <= o < offset + size]
                if hit:
                    self.pending.remove(hit[0])
                    sys.stderr.write('failing read at %d\n' % offset)
                    sys.stderr.flush()
                    raise FuseOSError(errno.EIO)
        return os.pread(fh, size, offset)

    def release(self, path, fh):
        os.close(fh)


if __name__ == '__main__':
    root, mount, name = sys.argv[1:4]
    offsets = [int(o) for o in sys.argv[4:]]
    # direct_io: every read of a program reaches the file system as it was
    # asked for (no read-ahead that would meet the failure in its place).
    FUSE(FailingReads(root, name, offsets), mount, foreground=True, ro=True, direct_io=True)
