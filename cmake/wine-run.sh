#!/bin/sh
# wine-run.sh PREFIX PROGRAM [ARGUMENT...]
# Runs a Windows program under Wine in the prefix PREFIX, made on first use.
# Needs no display; Wine's own diagnostics are silenced so that the
# program's output is all there is.
set -e
prefix=$1
shift
export WINEPREFIX="$prefix" WINEDEBUG=-all
# Wine 10's display drivers write "XDG_RUNTIME_DIR is invalid" into the
# standard error of whichever program starts the prefix's desktop, which
# WINEDEBUG does not silence. A console program needs no display: the
# prefix gets the null graphics driver, and whatever still looks for a
# runtime folder finds a private one.
export XDG_RUNTIME_DIR="$prefix.runtime"
# Wine names the files on disk in the locale's character set: without one
# (no LANG, as in a bare root) names beyond ASCII cannot be made.
[ -n "${LC_ALL:-}${LC_CTYPE:-}${LANG:-}" ] || export LANG=C.UTF-8
# Debian unstable's wine keeps wineserver out of PATH.
wineserver=$(command -v wineserver) ||
	wineserver=$(ls /usr/lib/*/wine/wineserver /usr/lib/wine/wineserver 2>/dev/null | head -n 1)
if [ ! -e "$prefix/.ready" ]; then
	mkdir -p "$(dirname "$prefix")"
	mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
	# Tests may start side by side: one makes the prefix, the rest wait.
	(
		flock 9
		if [ ! -e "$prefix/.ready" ]; then
			# A first boot has been seen to fail at once (kernel32.dll not
			# loaded) when a stale server answered: start clean once more.
			if ! wineboot -i >"$prefix.log" 2>&1; then
				"$wineserver" -k 2>/dev/null || true
				rm -rf "$prefix"
				wineboot -i >>"$prefix.log" 2>&1 || { cat "$prefix.log" >&2; exit 1; }
			fi
			wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >>"$prefix.log" 2>&1 ||
				{ cat "$prefix.log" >&2; exit 1; }
			"$wineserver" -w
			touch "$prefix/.ready"
		fi
	) 9>"$prefix.lock"
fi
exec wine "$@"
