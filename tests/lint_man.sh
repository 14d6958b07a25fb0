#!/bin/sh
# Lints a man page with every checker that is installed: mandoc down to
# style messages, and groff with all warnings on. Any output fails.
# Exit 77 (skipped) when neither is there, except under CI, which
# installs both and must not pass without linting.
page=$1
checked=0
if command -v mandoc >/dev/null 2>&1; then
	out=$(mandoc -T lint "$page" 2>&1)
	if [ $? != 0 ] || [ -n "$out" ]; then
		printf '%s\n' "$out"
		exit 1
	fi
	checked=1
fi
if command -v groff >/dev/null 2>&1; then
	out=$(groff -T utf8 -mandoc -ww -z "$page" 2>&1)
	if [ $? != 0 ] || [ -n "$out" ]; then
		printf '%s\n' "$out"
		exit 1
	fi
	checked=1
fi
if [ "$checked" = 0 ]; then
	echo "neither mandoc nor groff is installed"
	[ -n "${CI:-}" ] && exit 1
	exit 77
fi
echo "$page: no warnings"
