#ifndef TONVELO_COLLECT_H
#define TONVELO_COLLECT_H

// Appends to the media list every file below path, depth first, except
// those whose joined path contains ".jpg" or ".m3u". isCurrent tells that
// path is the current directory's text, opened as the directory itself.
// The folder stays held for the playlist (holdScannedFolder). False, after
// saying why, when path cannot be opened as a folder.
bool scanFolder(const char *path, bool isCurrent = false);

#endif
