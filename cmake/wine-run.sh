#!/bin/sh
# wine-run.sh PREFIX PROGRAM [ARGUMENT...]
# Runs a Windows program under Wine in the prefix PREFIX, made on first use.
# Needs no display; Wine's own diagnostics are silenced so that the
# program's output is all there is.
set -e
prefix=$1
shift
export WINEPREFIX="$prefix" WINEDEBUG=-all
if [ ! -e "$prefix/.booted" ]; then
	mkdir -p "$(dirname "$prefix")"
	# Tests may start side by side: one boots the prefix, the rest wait.
	(
		flock 9
		if [ ! -e "$prefix/.booted" ]; then
			# A first boot has been seen to fail at once (kernel32.dll not
			# loaded) when a stale server answered: start clean once more.
			if ! wineboot -i >"$prefix.log" 2>&1; then
				wineserver -k 2>/dev/null || true
				rm -rf "$prefix"
				wineboot -i >>"$prefix.log" 2>&1 || { cat "$prefix.log" >&2; exit 1; }
			fi
			wineserver -w
			touch "$prefix/.booted"
		fi
	) 9>"$prefix.lock"
fi
exec wine "$@"
