#ifndef TONVELO_COLLECT_H
#define TONVELO_COLLECT_H

// Appends to the media list every file below path, depth first, except
// those whose joined path contains ".jpg" or ".m3u". False, after saying
// why, when path itself cannot be opened as a folder.
bool scanFolder(const char *path);

#endif
