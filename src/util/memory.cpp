#include "util/memory.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "util/replace.h"
#include "util/report.h"

namespace {

const char *reportedPath = "";

} // namespace

void handleOutOfMemory(const char *path)
{
	reportedPath = path;
	std::set_new_handler(dieOutOfMemory);
}

// Called instead of throwing, when even the exception might find no room.
// Nothing here allocates.
void dieOutOfMemory()
{
	discardReplacement();
	reportPath(reportedPath, std::strerror(ENOMEM));
	std::fflush(stdout);
	std::_Exit(2);
}
