#include "playlist/interrupt.h"

#include <windows.h>

#include "playlist/replace.h"
#include "report/report.h"

namespace {

// Ctrl-C, Ctrl-Break, a closed console window, a logoff or a shutdown:
// runs on a thread of its own while the program goes on.
BOOL WINAPI onConsoleEvent(DWORD)
{
	removeReplacementNow();
	clearProgressNow();
	// Not handled: the system ends the process as it would have.
	return FALSE;
}

} // namespace

void catchSignals()
{
	SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}
