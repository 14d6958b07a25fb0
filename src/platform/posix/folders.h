// The folders a run works in, as descriptors. Linux files only.
#ifndef TONVELO_POSIX_FOLDERS_H
#define TONVELO_POSIX_FOLDERS_H

// The folder held by holdScannedFolder, or -1 before.
int scannedFolderFd();

#endif
