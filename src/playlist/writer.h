#ifndef TONVELO_WRITER_H
#define TONVELO_WRITER_H

// Shuffles the media list and writes it as an extended-M3U playlist named
// "playlist.m3u": in the folder scanned when its text is absolute, else in
// the current directory, and there too when the first place fails. An
// existing playlist is replaced only once the new one is whole, or put
// back where it is written over. Returns false, after reporting why, when
// no playlist could be written.
bool writePlaylist(const char *folder);

#endif
