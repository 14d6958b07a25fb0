#include "playlist/interrupt.h"

#include <windows.h>

#include "playlist/replace.h"
#include "report/report.h"

namespace {

// What holds the console handler back. Reentrant: running out of memory
// inside a hold cleans up on the same thread.
CRITICAL_SECTION guard;
// Made ready before main, so that anything may hold it.
const bool guardReady = (InitializeCriticalSection(&guard), true);

// Ctrl-C, Ctrl-Break, a closed console window, a logoff or a shutdown:
// runs on a thread of its own while the program goes on. The guard it
// takes, through removeReplacementInHandler, is never given back: the
// program changes no file of its own before the system ends it.
BOOL WINAPI onConsoleEvent(DWORD)
{
	removeReplacementInHandler();
	clearProgressInHandler();
	// Not handled: the system ends the process as it would have.
	return FALSE;
}

} // namespace

void catchSignals()
{
	SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void holdInterrupts()
{
	EnterCriticalSection(&guard);
}

void releaseInterrupts()
{
	LeaveCriticalSection(&guard);
}
