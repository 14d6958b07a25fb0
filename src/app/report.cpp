#include "app/report.h"

#include <cstdio>
#include <cstring>
#include <string>

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
	// One write, so the line is not torn by other output.
	std::fwrite(line.data(), 1, line.size(), stderr);
}
