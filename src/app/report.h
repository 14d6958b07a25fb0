// Error lines of the form "tonvelo: path: reason" on standard error.
#ifndef TONVELO_REPORT_H
#define TONVELO_REPORT_H

#include <cstddef>

// Control bytes in path are escaped so that one report stays one line.
void reportPath(const char *path, const char *reason);
void reportPath(const char *path, std::size_t len, const char *reason);

#endif
