#include "report/report.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <unistd.h>

#include "platform/host.h"

namespace {

using Clock = std::chrono::steady_clock;

const auto PROGRESS_DELAY = std::chrono::milliseconds(500);
const auto PROGRESS_PERIOD = std::chrono::milliseconds(250);

Clock::time_point started = Clock::now();
Clock::time_point shownAt;
// How wide the status line shown is, 0 while none is; read by signal
// handlers too.
volatile std::sig_atomic_t shownWidth;
int onTerminal = -1;    // unknown until first asked
// True while the terminal's line holds text of others, as far as known.
bool lineTaken;

const char *outOfMemoryPath = "";
void (*outOfMemoryCleanup)();

// A line is gathered here and written at once, so that other output does
// not tear it; nothing is allocated, so that running out of memory can be
// told as well.
struct Line {
	char buf[8192];
	std::size_t len = 0;
};

void flush(Line &line)
{
	std::fwrite(line.buf, 1, line.len, stderr);
	line.len = 0;
}

void put(Line &line, const char *s, std::size_t n)
{
	while (n > 0) {
		if (line.len == sizeof line.buf)
			flush(line);
		std::size_t room = sizeof line.buf - line.len;
		std::size_t part = n < room ? n : room;
		std::memcpy(line.buf + line.len, s, part);
		line.len += part;
		s += part;
		n -= part;
	}
}

void put(Line &line, const char *s)
{
	put(line, s, std::strlen(s));
}

// The length of a valid UTF-8 sequence at s, else 1. Overlong forms are
// not valid: a lenient terminal could read one as a control.
std::size_t sequenceLength(const char *s, std::size_t left)
{
	unsigned char c = s[0];
	if (c < 0xC2 || c > 0xF4)
		return 1;
	std::size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
	unsigned char low = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
	unsigned char high = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
	if (n > left || static_cast<unsigned char>(s[1]) < low || static_cast<unsigned char>(s[1]) > high)
		return 1;
	for (std::size_t i = 2; i < n; i++)
		if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80)
			return 1;
	return n;
}

// True when the n bytes of one character at s are a control a terminal
// would act on: C0, DEL or C1, as a byte of its own or as UTF-8 (0x9B and
// C2 9B are both CSI to many terminals). A byte of 0x80 to 0x9F within a
// longer character is none.
bool isControl(const char *s, std::size_t n)
{
	unsigned char c = s[0];
	if (n == 1)
		return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F);
	return n == 2 && c == 0xC2 && static_cast<unsigned char>(s[1]) <= 0x9F;
}

void putEscaped(Line &line, unsigned char c)
{
	char esc[8];
	if (c == '\n')
		put(line, "\\n");
	else if (c == '\r')
		put(line, "\\r");
	else {
		std::snprintf(esc, sizeof esc, "\\x%02x", c);
		put(line, esc);
	}
}

void putPath(Line &line, const char *path, std::size_t len)
{
	for (std::size_t i = 0, n; i < len; i += n) {
		n = sequenceLength(path + i, len - i);
		if (!isControl(path + i, n))
			put(line, path + i, n);
		else
			for (std::size_t k = 0; k < n; k++)
				putEscaped(line, static_cast<unsigned char>(path[i + k]));
	}
}

} // namespace

void reportPath(const char *path, const char *reason, const char *instead)
{
	Line line;
	put(line, "tonvelo: ");
	putPath(line, path, std::strlen(path));
	put(line, ": ");
	put(line, reason);
	if (instead != nullptr) {
		put(line, "; written to ");
		putPath(line, instead, std::strlen(instead));
		put(line, " instead");
	}
	put(line, "\n");
	clearProgress();
	flush(line);
}

// Without the folder's name, as this line has always been.
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
	// Below the text of others: the next line is ours. It is on the
	// screen before the status line counts as shown, so that no erase
	// comes back up to that text.
	if (lineTaken) {
		std::fputc('\n', stderr);
		std::fflush(stderr);
		lineTaken = false;
	}
	char line[64];
	int n = std::snprintf(line, sizeof line, "\rtonvelo: %zu files found", found);
	// Recorded before it is written, so that an interrupt meanwhile
	// erases it all the same; a count never gets shorter.
	shownWidth = n - 1;
	std::fwrite(line, 1, n, stderr);
	std::fflush(stderr);
	shownAt = now;
}

void noteUnfinishedLine(std::FILE *stream)
{
	lineTaken = isTerminal(stream);
}

void clearProgress()
{
	std::fflush(stderr);
	clearProgressInHandler();
}

void clearProgressInHandler()
{
	static const char blanks[] = "                                ";
	int width = shownWidth;
	if (width == 0)
		return;
	shownWidth = 0;
	// Nothing more can be done about a failed write here.
	bool ok = write(STDERR_FILENO, "\r", 1) == 1;
	for (int left = width; ok && left > 0; left -= int(sizeof blanks) - 1) {
		int n = left < int(sizeof blanks) - 1 ? left : int(sizeof blanks) - 1;
		ok = write(STDERR_FILENO, blanks, n) == n;
	}
	if (ok)
		ok = write(STDERR_FILENO, "\r", 1) == 1;
}

void handleOutOfMemory(const char *path, void (*cleanup)())
{
	outOfMemoryPath = path;
	outOfMemoryCleanup = cleanup;
	std::set_new_handler(dieOutOfMemory);
}

// Called instead of throwing, when even the exception might find no room.
// Nothing here allocates.
void dieOutOfMemory()
{
	if (outOfMemoryCleanup != nullptr)
		outOfMemoryCleanup();
	reportPath(outOfMemoryPath, std::strerror(ENOMEM));
	std::fflush(stdout);
	std::_Exit(2);
}
