// With 64-bit file offsets the C library's headers give openat the name of
// its 64-bit kin, openat64, as they do in the program: a shim's definition
// of openat is then openat64, and the call it passes on must be looked up
// under that name too.
#ifndef TONVELO_SHIM_NAMES_H
#define TONVELO_SHIM_NAMES_H

#if defined _FILE_OFFSET_BITS && _FILE_OFFSET_BITS == 64
#define OFFSET_NAMES_64 1
#define OFFSET_NAME(name) name "64"
#else
#define OFFSET_NAME(name) name
#endif

#endif
