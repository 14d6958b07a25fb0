#!/bin/sh
# Installs what the tests need when it is missing (Debian packages), builds
# the Release build in build/ and runs every test there. Fails when a test
# fails or when none ran.
#
#   sh tests/run.sh
set -eu
cd "$(dirname "$0")/.."

# GoogleTest, Python, setpriv and unshare, strace to inject read errors,
# and a FAT image mounted through FUSE, for the end-to-end tests; the man
# page linters.
packages="libgtest-dev python3 util-linux strace dosfstools fusefat mandoc groff-base"
missing=""
for p in $packages; do
	dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' ||
		missing="$missing $p"
done
if [ -n "$missing" ]; then
	# A minimal root has no sudo, and needs none.
	sudo=""
	[ "$(id -u)" = 0 ] || sudo=sudo
	$sudo apt-get update -q
	# shellcheck disable=SC2086
	$sudo env DEBIAN_FRONTEND=noninteractive \
		apt-get install -y -q --no-install-recommends $missing
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j2
ctest --test-dir build --output-on-failure --no-tests=error
