#!/usr/bin/env bash
# Builds the packages of the commit checked out here twice, in two clean
# clones in two folders, under umask 022 and 002 and two time zones, with
# no SOURCE_DATE_EPOCH; checks both with check-packages.sh and compares the
# .deb, the zip and tonvelo.exe byte for byte. Uncommitted changes are in
# neither build.
set -euo pipefail
cd "$(dirname "$0")/.."
unset SOURCE_DATE_EPOCH

fail() {
	echo "check-reproducible: $*" >&2
	exit 1
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
head=$(git rev-parse HEAD)

# build UMASK TZ FOLDER: a clone of the commit in FOLDER, its Release build
# and Windows cross build (the programs alone), and their packages, checked.
build() {
	mkdir -p "$(dirname "$3")"
	(
		umask "$1"
		export TZ=$2
		git clone -q --no-checkout "$PWD" "$3"
		cd "$3"
		git checkout -q "$head"
		cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
		cmake --build build -j2
		cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
			-DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
		cmake --build build-win -j2
		bash .ci/check-packages.sh
	) >"$3.log" 2>&1 || { cat "$3.log"; fail "the build in $3 (umask $1) failed"; }
}
build 022 UTC0 "$tmp/one"
build 002 JST-9 "$tmp/two/tonvelo"

one=$tmp/one two=$tmp/two/tonvelo
for f in "$one"/build/*.deb "$one"/build-win/*.zip "$one"/build-win/tonvelo.exe; do
	cmp "$f" "$two/${f#"$one/"}" || fail "${f#"$one/"} differs between the two builds"
done
echo "check-reproducible: $(cd "$one" && echo build/*.deb build-win/*.zip build-win/tonvelo.exe) are the same from both builds"
