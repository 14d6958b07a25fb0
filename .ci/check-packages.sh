#!/usr/bin/env bash
# Builds the packages and checks them: the Debian package from the Release
# build in build/ (with lintian, then the program it holds), and the ZIP
# from the Windows cross build in build-win/ when that folder has been
# configured.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

fail() {
	echo "check-packages: $*" >&2
	exit 1
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The one version, as the build read it from CMakeLists.txt.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/CMakeCache.txt 2>/dev/null)
[ -n "$version" ] || fail "no project version in build/CMakeCache.txt"

# A small tree, and the two playlists a run over "music" may give (its
# header line is fixed, whatever the version).
mkdir -p "$tmp/run/music/sub"
printf 1 >"$tmp/run/music/a.mp3"
printf 2 >"$tmp/run/music/sub/b.flac"
printf 3 >"$tmp/run/music/cover.jpg"
header="#EXTM3U\n#created with Tonvelo $version by Brennovald\n"
printf "${header}music/a.mp3\nmusic/sub/b.flac\n" >"$tmp/order1"
printf "${header}music/sub/b.flac\nmusic/a.mp3\n" >"$tmp/order2"
banner="Tonvelo $version by Brennovald
Writes a shuffled playlist.m3u of every file below a folder."

# --- Debian package -------------------------------------------------------
# A package of a Debug or sanitizer build would ship the wrong program.
grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' build/CMakeCache.txt ||
	fail "build/ is not a configured Release build"
rm -f build/tonvelo_*.deb
(cd build && cpack -G DEB)
deb=build/tonvelo_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "$deb was not built"
dpkg-deb -c "$deb"

# Debian's checker reads the fields, owners, modes, documentation and the
# hardening of the program; what it leaves out is checked below.
command -v lintian >/dev/null || fail "lintian not found (apt-get install lintian)"
# Its hardening tags are only informational: they fail here all the same.
tags=$(lintian -I -E --pedantic --fail-on error,warning "$deb") || { echo "$tags"; fail "lintian rejects $deb"; }
[ -z "$tags" ] || echo "$tags"
case $tags in *hardening-*) fail "$deb is not hardened" ;; esac

# Its times are the caller's SOURCE_DATE_EPOCH, else the last commit's.
if [ -n "${SOURCE_DATE_EPOCH:-}" ] || [ -e .git ]; then
	stamp=$(date -d "@${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}" '+%Y-%m-%d %H:%M')
	dpkg-deb -c "$deb" | awk -v s="$stamp" '$4 " " $5 != s { bad = 1 } END { exit bad }' ||
		fail "$deb holds times other than $stamp"
fi

dpkg-deb -x "$deb" "$tmp/root"
# gzip -n: no name and no time stamp, so the package builds the same twice.
doc=$tmp/root/usr/share/doc/tonvelo
for gz in "$tmp/root/usr/share/man/man1/tonvelo.1.gz" "$doc/changelog.gz" "$doc/README.md.gz"; do
	[ "$(od -An -tx1 -j3 -N5 "$gz" | tr -d ' ')" = 0000000000 ] ||
		fail "${gz#"$tmp/root"}: gzip header holds a name or time"
done
zcat "$doc/changelog.gz" | cmp -s CHANGELOG - || fail "the package's changelog is not CHANGELOG"
zcat "$doc/README.md.gz" | cmp -s README.md - || fail "the package's README is not README.md"
zcat "$tmp/root/usr/share/man/man1/tonvelo.1.gz" | grep -qx "\.Os Tonvelo $version" ||
	fail "the man page does not name Tonvelo $version in .Os"
out=$(cd "$tmp/run" && "$tmp/root/usr/bin/tonvelo" music) || fail "extracted program exited $?"
[ "$out" = "$banner" ] || fail "extracted program printed: $out"
cmp -s "$tmp/run/playlist.m3u" "$tmp/order1" || cmp -s "$tmp/run/playlist.m3u" "$tmp/order2" ||
	{ cat "$tmp/run/playlist.m3u"; fail "extracted program wrote a wrong playlist"; }
echo "check-packages: $deb is sound"

# --- Windows ZIP ----------------------------------------------------------
# Configured by whoever sets up the cross build, e.g.
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
if [ ! -d build-win ]; then
	echo "check-packages: no build-win/, Windows zip not checked"
	exit 0
fi
[ -f build-win/CMakeCache.txt ] || fail "build-win/ is not a configured build"
cmake --build build-win -j2
rm -f build-win/tonvelo-*.zip
(cd build-win && cpack -G ZIP)
zips=(build-win/tonvelo-*.zip)
[ ${#zips[@]} = 1 ] && [ -f "${zips[0]}" ] || fail "expected one zip, found: ${zips[*]}"
zip=${zips[0]}

[ "$zip" = "build-win/tonvelo-$version-win64.zip" ] || fail "$zip is not of version $version"

unzip -l "$zip" | tee "$tmp/zlisting"
awk '$4 != "" && $1 ~ /^[0-9]+$/ { print $4 }' "$tmp/zlisting" | LC_ALL=C sort >"$tmp/zfiles"
printf 'LICENSE\nMANUAL.txt\nNOTICES.txt\nREADME.md\ntonvelo.exe\n' >"$tmp/zwant"
diff -u "$tmp/zwant" "$tmp/zfiles" || fail "unexpected files in $zip"
# The text files with CR LF line ends, which every Notepad shows as lines;
# the manual as the man page renders, without a terminal's overstrikes.
command -v mandoc >/dev/null || fail "mandoc not found (apt-get install mandoc)"
mandoc -T ascii build-win/tonvelo.1 | sed 's/.\x08//g' >"$tmp/manual"
grep -q "^Tonvelo $version  " "$tmp/manual" || fail "the manual does not name Tonvelo $version"
for pair in README.md:README.md LICENSE:LICENSE doc/windows-notices.txt:NOTICES.txt "$tmp/manual:MANUAL.txt"; do
	sed 's/$/\r/' "${pair%%:*}" >"$tmp/crlf"
	unzip -p "$zip" "${pair#*:}" | cmp "$tmp/crlf" - || fail "${pair#*:} in the zip is not ${pair%%:*} with CR LF line ends"
done
unzip -p "$zip" tonvelo.exe >"$tmp/tonvelo.exe"
# A 64-bit console program, for Windows Vista (6.0) and later: the oldest
# Windows with every function it imports.
objdump=x86_64-w64-mingw32-objdump
command -v "$objdump" >/dev/null || fail "$objdump not found (binutils-mingw-w64-x86-64)"
"$objdump" -p "$tmp/tonvelo.exe" >"$tmp/pe"
header_field() {
	awk -v f="$1" '$1 == f { print $2; exit }' "$tmp/pe"
}
grep -q 'file format pei-x86-64$' "$tmp/pe" && [ "$(header_field Magic)" = 020b ] &&
	[ "$(header_field Subsystem)" = 00000003 ] ||
	fail "not a 64-bit Windows console program: $(file "$tmp/tonvelo.exe")"
for field in OSystem Subsystem; do
	[ "$(header_field "Major${field}Version").$(header_field "Minor${field}Version")" = 6.0 ] ||
		fail "the header's ${field} version is not 6.0 (Windows Vista)"
done

# What the program links in, read off the unstripped build, must have its
# notice in the zip: a trace of the library, and the name the notices use.
x86_64-w64-mingw32-nm build-win/tonvelo.exe >"$tmp/traces"
strings -a build-win/tonvelo.exe >>"$tmp/traces"
for pair in winpthreads/src:winpthreads mingw-w64-crt/crt:'mingw-w64 runtime' \
	mingw-w64-crt/gdtoa:gdtoa __gxx_personality:libstdc++ _Unwind_Resume:libgcc \
	__stack_chk_fail:libssp; do
	if grep -qF "${pair%%:*}" "$tmp/traces"; then
		grep -qF "${pair#*:}" doc/windows-notices.txt || fail "${pair#*:} is linked in, without its notice"
	fi
done
# Compiled with the stack protector: the program's own code calls its
# check (the runtime's libraries bring it in either way).
find build-win/CMakeFiles/tonvelo_core.dir build-win/CMakeFiles/tonvelo.dir -name '*.obj' \
	-exec x86_64-w64-mingw32-nm {} + | grep ' U __stack_chk_fail$' >/dev/null ||
	fail "tonvelo.exe has no stack protector"
# And fortified: which checked calls are left depends on what the compiler
# could prove (GCC 14 proves them all here), so the check asks the
# toolchain whether the build's own flags turn mingw-w64's fortified
# headers on.
flags=build-win/CMakeFiles/tonvelo_core.dir/flags.make
[ -f "$flags" ] || fail "no $flags to read the compile flags from"
cxx=$(sed -n 's/^set(CMAKE_CXX_COMPILER "\(.*\)")$/\1/p' build-win/CMakeFiles/*/CMakeCXXCompiler.cmake | head -n 1)
[ -n "$cxx" ] || fail "no C++ compiler named in build-win/CMakeFiles"
# shellcheck disable=SC2046
echo '#include <cstring>' | "$cxx" $(sed -n 's/^CXX_\(DEFINES\|FLAGS\) = //p' "$flags") -dM -E -x c++ - |
	grep '^#define __MINGW_FORTIFY_LEVEL [1-9]' >/dev/null || fail "tonvelo.exe is not fortified"

# It says what it is: a version resource (16) and a manifest (24), and the
# image version in its header.
wrestool -l "$tmp/tonvelo.exe" >"$tmp/resources" || fail "wrestool cannot read tonvelo.exe"
grep -q -- '--type=16 --name=1 ' "$tmp/resources" && grep -q -- '--type=24 --name=1 ' "$tmp/resources" ||
	{ cat "$tmp/resources"; fail "tonvelo.exe lacks its version resource or manifest"; }
wrestool -x --raw --type=16 "$tmp/tonvelo.exe" | tr -d '\0' | grep -qaF "ProductVersion$version" ||
	fail "the version resource does not name $version"
wrestool -x --raw --type=24 "$tmp/tonvelo.exe" >"$tmp/manifest"
grep -q 'level="asInvoker"' "$tmp/manifest" && [ "$(grep -c '<supportedOS ' "$tmp/manifest")" = 4 ] ||
	{ cat "$tmp/manifest"; fail "the manifest lacks asInvoker or a supported Windows"; }
! grep -qiE 'activeCodePage|longPathAware' "$tmp/manifest" || fail "the manifest changes the code page or path limit"
image=$(header_field MajorImageVersion).$(header_field MinorImageVersion)
[ "$image" = "$(echo "$version" | cut -d. -f1-2)" ] || fail "image version $image is not $version"
# The MinGW runtime DLLs are not on a clean Windows: the program must not
# need any that the zip does not bring along.
"$objdump" -p "$tmp/tonvelo.exe" | awk '/DLL Name:/ { print $3 }' >"$tmp/dlls"
[ -s "$tmp/dlls" ] || fail "no DLL imports read from tonvelo.exe"
while read -r dll; do
	case "$dll" in
	lib*.dll | LIB*.DLL)
		grep -qix "$dll" "$tmp/zfiles" || fail "tonvelo.exe needs $dll, which the zip lacks"
		;;
	esac
done <"$tmp/dlls"
# The program as shipped runs under Wine, in the build's prefix.
rm "$tmp/run/playlist.m3u"
out=$(cd "$tmp/run" && "$top/cmake/wine-run.sh" "$top/build-win/wineprefix" "$tmp/tonvelo.exe" music) ||
	fail "the zip's program exited $?"
[ "$(printf '%s' "$out" | tr -d '\r')" = "$banner" ] || fail "the zip's program printed: $out"
tr -d '\r' <"$tmp/run/playlist.m3u" >"$tmp/lf.m3u"
cmp -s "$tmp/lf.m3u" "$tmp/order1" || cmp -s "$tmp/lf.m3u" "$tmp/order2" ||
	{ cat "$tmp/run/playlist.m3u"; fail "the zip's program wrote a wrong playlist"; }
echo "check-packages: $zip is sound"
