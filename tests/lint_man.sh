#!/bin/sh
# Lints a man page with every checker that is installed: mandoc at the
# warning level, and groff with all warnings on. Any complaint fails;
# exit 77 (skipped) when neither checker is there.
page=$1
checked=0
if command -v mandoc >/dev/null 2>&1; then
	mandoc -T lint -W warning "$page" || exit 1
	checked=1
fi
if command -v groff >/dev/null 2>&1; then
	out=$(groff -T utf8 -mandoc -ww -z "$page" 2>&1) || { printf '%s\n' "$out"; exit 1; }
	if [ -n "$out" ]; then
		printf '%s\n' "$out"
		exit 1
	fi
	checked=1
fi
if [ "$checked" = 0 ]; then
	echo "neither mandoc nor groff is installed"
	exit 77
fi
echo "$page: no warnings"
