#include "util/report.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "util/host.h"

namespace {

using Clock = std::chrono::steady_clock;

const auto PROGRESS_DELAY = std::chrono::milliseconds(500);
const auto PROGRESS_PERIOD = std::chrono::milliseconds(250);

Clock::time_point started = Clock::now();
Clock::time_point shownAt;
std::size_t shownWidth; // 0 while no status line is shown
int onTerminal = -1;    // unknown until first asked

} // namespace

void reportPath(const char *path, const char *reason)
{
	reportPath(path, std::strlen(path), reason);
}

void reportPath(const char *path, std::size_t len, const char *reason)
{
	std::string line = "tonvelo: ";
	for (std::size_t i = 0; i < len; i++) {
		unsigned char c = path[i];
		char esc[8];
		if (c == '\n')
			line += "\\n";
		else if (c == '\r')
			line += "\\r";
		else if (c < 0x20 || c == 0x7f) {
			std::snprintf(esc, sizeof esc, "\\x%02x", c);
			line += esc;
		} else
			line += static_cast<char>(c);
	}
	line += ": ";
	line += reason;
	line += '\n';
	clearProgress();
	// One write, so the line is not torn by other output.
	std::fwrite(line.data(), 1, line.size(), stderr);
}

void reportOpenFailure()
{
	clearProgress();
	std::perror("opendir");
}

void showProgress(std::size_t found)
{
	Clock::time_point now = Clock::now();
	if (now - started < PROGRESS_DELAY || now - shownAt < PROGRESS_PERIOD)
		return;
	if (onTerminal < 0)
		onTerminal = isTerminal(stderr);
	if (!onTerminal)
		return;
	char line[64];
	int n = std::snprintf(line, sizeof line, "\rtonvelo: %zu files found", found);
	std::fwrite(line, 1, n, stderr);
	std::fflush(stderr);
	shownAt = now;
	shownWidth = n - 1;
}

void clearProgress()
{
	if (shownWidth == 0)
		return;
	std::string blank = "\r" + std::string(shownWidth, ' ') + "\r";
	std::fwrite(blank.data(), 1, blank.size(), stderr);
	std::fflush(stderr);
	shownWidth = 0;
}
