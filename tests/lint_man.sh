#!/bin/sh
# Lints a man page with every checker that is installed: mandoc with all
# messages on, and groff with all warnings on. Any output fails.
# Exit 77 (skipped) when neither is there, except under CI, which
# installs both and must not pass without linting.
page=$1
checked=0
if command -v mandoc >/dev/null 2>&1; then
	# Which of the pages under SEE ALSO are installed, and how fresh the
	# manual database is, belong to the machine, not to the page.
	out=$(mandoc -T lint -W all "$page" 2>&1 |
		grep -v -e 'referenced manual not found' -e 'mandoc\.db')
	if [ -n "$out" ]; then
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
