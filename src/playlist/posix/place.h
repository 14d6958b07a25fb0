#ifndef TONVELO_POSIX_PLACE_H
#define TONVELO_POSIX_PLACE_H

#include <string>
#include <sys/stat.h>
#include <vector>

// Linux: the folder that holds the file is held open, and every check and
// every change is made relative to it (openat, fstatat, linkat, renameat),
// so that nobody can swap a name between the two.
struct Place {
	int folder = -1;       // the folder that holds the file, open (O_PATH)
	std::string name;      // the file's name in it
	std::string shown;     // the folder as reports show it: "" or ending in "/"
	PlaceKind kind = PLACE_EMPTY;
	struct stat old = {};  // what stands there, unless PLACE_EMPTY
	std::vector<char> acl; // its access ACL, as the xattr holds it; empty when none
	Refusal refusal;       // where it is refused for safety
};

#endif
