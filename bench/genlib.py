#!/usr/bin/env python3
"""Writes a music library of ARTISTS x ALBUMS (default 5) x 12 tracks below DIR.

    genlib.py DIR ARTISTS [ALBUMS] [--views]

Each album also holds a cover.jpg and an album .m3u, and each artist a
hidden file, as real libraries do: ALBUMS x 12 + 1 playlist entries per
artist. With --views, DIR also gets two views of every album made of
links, Genres/<genre>/<Artist - Album> and Years/<year>/<Artist - Album>,
each leading to ../../<Artist>/<Album>.
"""
import os
import stat
import sys

GENRES = ["Blues", "Classical", "Country", "Electronic", "Folk", "Hip-Hop",
          "Jazz", "Metal", "Pop", "Punk", "Reggae", "Rock", "Soul", "World"]


def touch(name, dir_fd):
    # mknod makes an empty file without an open and a close: millions of
    # files are made in minutes.
    os.mknod(name, stat.S_IFREG | 0o644, dir_fd=dir_fd)


def main():
    args = [a for a in sys.argv[1:] if a != "--views"]
    views = "--views" in sys.argv[1:]
    top, artists = args[0], int(args[1])
    albums = int(args[2]) if len(args) > 2 else 5
    tmp = top + ".partial"
    os.makedirs(tmp)
    if views:
        for g in GENRES:
            os.makedirs(os.path.join(tmp, "Genres", g))
    for a in range(artists):
        artist_name = "Artist %05d" % a
        artist = os.path.join(tmp, artist_name)
        os.mkdir(artist)
        afd = os.open(artist, os.O_RDONLY | os.O_DIRECTORY)
        touch(".artist.nfo", afd)
        for b in range(albums):
            year = "19%02d" % (a % 100)
            album = "Album %d (%s)" % (b + 1, year)
            os.mkdir(album, dir_fd=afd)
            bfd = os.open(album, os.O_RDONLY | os.O_DIRECTORY, dir_fd=afd)
            touch("cover.jpg", bfd)
            touch("Album %d.m3u" % (b + 1), bfd)
            for t in range(12):
                touch("%02d Track Number %d.flac" % (t + 1, t + 1), bfd)
            os.close(bfd)
            if views:
                target = os.path.join("..", "..", artist_name, album)
                view = "%s - %s" % (artist_name, album)
                genre = GENRES[(a * albums + b) % len(GENRES)]
                os.symlink(target, os.path.join(tmp, "Genres", genre, view))
                os.makedirs(os.path.join(tmp, "Years", year), exist_ok=True)
                os.symlink(target, os.path.join(tmp, "Years", year, view))
        os.close(afd)
    os.rename(tmp, top)


if __name__ == "__main__":
    main()
