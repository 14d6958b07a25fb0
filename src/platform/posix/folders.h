// The folders a run works in, as descriptors. Linux files only.
#ifndef TONVELO_POSIX_FOLDERS_H
#define TONVELO_POSIX_FOLDERS_H

// The folders held by holdScannedFolder, or -1 before: the one scanned,
// and the current directory as it was.
extern int scannedFolderFd;
extern int currentFolderFd;

#endif
