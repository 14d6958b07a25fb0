#!/usr/bin/env python3
"""Writes a music library of ARTISTS x 5 albums x 12 tracks below DIR.

Each album also holds a cover.jpg and an album .m3u, and each artist a
hidden file, as real libraries do: 61 playlist entries per artist.
"""
import os
import sys


def main():
    top, artists = sys.argv[1], int(sys.argv[2])
    tmp = top + ".partial"
    for a in range(artists):
        artist = os.path.join(tmp, "Artist %05d" % a)
        os.makedirs(artist)
        open(os.path.join(artist, ".artist.nfo"), "w").close()
        for b in range(5):
            album = os.path.join(artist, "Album %d (19%02d)" % (b + 1, a % 100))
            os.mkdir(album)
            for name in ["cover.jpg", "Album %d.m3u" % (b + 1)] + [
                    "%02d Track Number %d.flac" % (t + 1, t + 1) for t in range(12)]:
                open(os.path.join(album, name), "w").close()
    os.rename(tmp, top)


if __name__ == "__main__":
    main()
