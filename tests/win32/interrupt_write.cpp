// Writes half a replacement of the file named by its argument, says
// "ready" and waits, so that the Windows test can interrupt it there; the
// console handler must remove the half-made file.
#include <cstdio>

#include <windows.h>

#include "playlist/interrupt.h"
#include "playlist/replace.h"

int main(int argc, char *argv[])
{
	if (argc != 2)
		return 2;
	catchSignals();
	bool told;
	std::FILE *fp = createReplacement(argv[1], &told);
	if (fp == nullptr)
		return 3;
	std::fputs("#EXTM3U\n", fp);
	std::fflush(fp);
	std::printf("ready\n");
	std::fflush(stdout);
	Sleep(20000);
	std::printf("not interrupted\n");
	return commitReplacement();
}
