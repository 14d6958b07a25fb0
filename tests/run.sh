#!/bin/sh
# Installs what the tests need when it is missing (Debian packages), builds
# the Release build in build/ and runs every test there, then lists what
# was skipped and why. Fails when a test fails or when none ran.
#
#   sh tests/run.sh
set -eu
cd "$(dirname "$0")/.."

# Installs those of the packages named that are missing.
install_missing() {
	missing=""
	for p in "$@"; do
		dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' ||
			missing="$missing $p"
	done
	[ -n "$missing" ] || return 0
	# A minimal root has no sudo, and needs none.
	sudo=""
	[ "$(id -u)" = 0 ] || sudo=sudo
	[ -n "${updated:-}" ] || { $sudo apt-get update -q; updated=1; }
	# shellcheck disable=SC2086
	$sudo env DEBIAN_FRONTEND=noninteractive \
		apt-get install -y -q --no-install-recommends $missing
}

# GoogleTest, Python, setpriv and unshare, strace to inject read errors,
# a FAT image mounted through FUSE, and a union file system for the inode
# numbers of FUSE file systems, for the end-to-end tests; the man page
# linters.
install_missing libgtest-dev python3 util-linux strace dosfstools fusefat mergerfs mandoc \
	groff-base
# FUSE's Python bindings, for a file system of the tests' own: unstable has
# dropped them, and there the cases that need it skip and say why.
install_missing python3-fusepy || echo "tests: no python3-fusepy here; its cases will skip"
# FUSE's mount helper, with which a user mounts the FAT image: Debian 12's
# fusefat depends on fuse's fusermount, later ones only recommend fuse3's
# fusermount3.
command -v fusermount3 >/dev/null || command -v fusermount >/dev/null || install_missing fuse3

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j2
status=0
ctest --test-dir build --output-on-failure --no-tests=error -O build/ctest.out || status=$?

# What was skipped, and why: whole tests that ctest skipped (their last
# line of output says why), and the cases skipped inside a test, as
# unittest and GoogleTest print them.
awk '
	FNR == NR {
		if (match($0, /Test +#[0-9]+: [^ ]+ /) && /\*\*\*(Skipped|Not Run)/) {
			name = substr($0, RSTART, RLENGTH - 1)
			sub(/^Test +#[0-9]+: /, "", name)
			whole[name] = 1
		}
		next
	}
	/^[0-9]+\/[0-9]+ Test: / { test = $0; sub(/^[^:]*: /, "", test); out = told = 0; last = ""; next }
	test == "" { next }
	/^Output:$/ { out = 1; getline; next }
	/^<end of output>$/ {
		if ((test in whole) && !told) print "  " test ": " (last == "" ? "(no output)" : last)
		test = ""
		next
	}
	!out { next }
	/ \.\.\. skipped / {
		i = index($0, " ... skipped ")
		case_ = substr($0, 1, i - 1)
		sub(/^ +/, "", case_) # a subtest is indented
		if (case_ !~ /^[A-Za-z_][A-Za-z0-9_]* \(/) case_ = previous
		sub(/ .*/, "", case_)
		print "  " test ", " case_ ": " substr($0, i + 14, length($0) - i - 14)
		told = 1
	}
	/: Skipped$/ { gskip = 1; why = ""; next }
	gskip && /^\[  SKIPPED \] / {
		case_ = $0
		sub(/^\[  SKIPPED \] /, "", case_)
		sub(/ \([0-9]+ ms\)$/, "", case_)
		print "  " (case_ == test ? test : test ", " case_) ":" why
		told = 1
		gskip = 0
		next
	}
	gskip { if (NF) why = why " " $0; next }
	NF { last = $0 }
	{ previous = $0 }
' build/ctest.out build/Testing/Temporary/LastTest.log >build/skipped.txt
if [ -s build/skipped.txt ]; then
	echo "Skipped:"
	cat build/skipped.txt
else
	echo "Nothing was skipped."
fi
exit "$status"
