#include "playlist/interrupt.h"

#include <csignal>

#include "playlist/replace.h"
#include "report/report.h"

namespace {

// Every signal whose default action ends the process, but SIGPIPE and
// SIGXFSZ, which are turned into write errors, and the realtime ones,
// added below.
const int ENDING_SIGNALS[] = {
	SIGHUP, SIGINT, SIGQUIT, SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGUSR1, SIGSEGV,
	SIGUSR2, SIGALRM, SIGTERM, SIGXCPU, SIGVTALRM, SIGPROF, SIGSYS, SIGIO, SIGPWR,
#ifdef SIGSTKFLT // not on every architecture
	SIGSTKFLT,
#endif
};

// The signals caught, which a hold holds back; the holds taken and not
// yet released, and the mask from before the first.
sigset_t caught, unheld;
int holds;

extern "C" void onEndingSignal(int sig)
{
	removeReplacementInHandler();
	clearProgressInHandler();
	// Blocked while this runs: delivered, to end the process, on return.
	std::signal(sig, SIG_DFL);
	std::raise(sig);
}

void catchSignal(int sig, const struct sigaction &sa)
{
	struct sigaction was;
	// One the caller ignores (a background job) stays ignored, and one
	// with a handler of its own (a sanitizer's) keeps it.
	if (sigaction(sig, nullptr, &was) == 0 && !(was.sa_flags & SA_SIGINFO) &&
	    was.sa_handler == SIG_DFL && sigaction(sig, &sa, nullptr) == 0)
		sigaddset(&caught, sig);
}

} // namespace

void catchSignals()
{
	struct sigaction sa = {};
	sa.sa_handler = onEndingSignal;
	sigfillset(&sa.sa_mask);
	sigemptyset(&caught);
	for (int sig : ENDING_SIGNALS)
		catchSignal(sig, sa);
	for (int sig = SIGRTMIN; sig <= SIGRTMAX; sig++)
		catchSignal(sig, sa);
	std::signal(SIGPIPE, SIG_IGN);
	std::signal(SIGXFSZ, SIG_IGN);
}

void holdInterrupts()
{
	if (holds++ == 0)
		sigprocmask(SIG_BLOCK, &caught, &unheld);
}

void releaseInterrupts()
{
	if (--holds == 0)
		sigprocmask(SIG_SETMASK, &unheld, nullptr);
}
