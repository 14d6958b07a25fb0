#!/usr/bin/env bash
# Builds the packages and checks what is inside them: the Debian package
# from the Release build in build/, and the ZIP from the Windows cross
# build in build-win/ when that folder has been configured.
set -euo pipefail
cd "$(dirname "$0")/.."

fail() {
	echo "check-packages: $*" >&2
	exit 1
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The list of non-folder entries of an archive listing, one per line.
files_of() {
	awk '$1 !~ /^d/ { print $NF }' | LC_ALL=C sort
}

# A small tree, and the two playlists a run over "music" may give.
mkdir -p "$tmp/run/music/sub"
printf 1 >"$tmp/run/music/a.mp3"
printf 2 >"$tmp/run/music/sub/b.flac"
printf 3 >"$tmp/run/music/cover.jpg"
header='#EXTM3U\n#created with Tonvelo 0.1 by Brennovald\n'
printf "${header}music/a.mp3\nmusic/sub/b.flac\n" >"$tmp/order1"
printf "${header}music/sub/b.flac\nmusic/a.mp3\n" >"$tmp/order2"
banner='Tonvelo 0.1 by Brennovald
Writes a shuffled playlist.m3u of every file below a folder.'

# --- Debian package -------------------------------------------------------
# A package of a Debug or sanitizer build would ship the wrong program.
grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' build/CMakeCache.txt ||
	fail "build/ is not a configured Release build"
rm -f build/tonvelo_*.deb
(cd build && cpack -G DEB)
deb=build/tonvelo_0.1_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "$deb was not built"

dpkg-deb -c "$deb" >"$tmp/listing"
cat "$tmp/listing"
files_of <"$tmp/listing" >"$tmp/files"
cat >"$tmp/want" <<'EOF'
./usr/bin/tonvelo
./usr/share/doc/tonvelo/README.md
./usr/share/doc/tonvelo/changelog.gz
./usr/share/doc/tonvelo/copyright
./usr/share/man/man1/tonvelo.1.gz
EOF
diff -u "$tmp/want" "$tmp/files" || fail "unexpected files in $deb"
awk '$2 != "root/root" { bad = 1; print "not root-owned: " $0 } END { exit bad }' \
	"$tmp/listing" || fail "files in $deb not owned by root"
grep -q '^-rwxr-xr-x .* \./usr/bin/tonvelo$' "$tmp/listing" || fail "program is not mode 0755"
[ "$(grep -c '^-rw-r--r-- ' "$tmp/listing")" = 4 ] || fail "documentation is not mode 0644"

dpkg-deb -I "$deb"
field() {
	dpkg-deb -f "$deb" "$1"
}
[ "$(field Package)" = tonvelo ] || fail "Package: $(field Package)"
[ "$(field Version)" = 0.1 ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = utils ] || fail "Section: $(field Section)"
[ "$(field Priority)" = optional ] || fail "Priority: $(field Priority)"
field Maintainer | grep -Eq '^[^<>]+ <[^<>@ ]+@[^<>@ ]+>$' || fail "Maintainer: $(field Maintainer)"
field Depends | grep -q 'libc6 (>= ' || fail "Depends lacks libc6: $(field Depends)"
field Depends | grep -q 'libstdc++6 (>= ' || fail "Depends lacks libstdc++6: $(field Depends)"
[ "$(field Description | head -n 1)" != "" ] || fail "no short description"
[ "$(field Description | wc -l)" -ge 3 ] || fail "no long description"
# apt resolves Depends against this machine: a bogus name would fail here.
apt-get install --simulate -q "./$deb" >/dev/null || fail "Depends cannot be satisfied"

dpkg-deb -x "$deb" "$tmp/root"
doc="$tmp/root/usr/share/doc/tonvelo"
page="$tmp/root/usr/share/man/man1/tonvelo.1.gz"
cmp LICENSE "$doc/copyright" || fail "copyright is not the licence"
cmp README.md "$doc/README.md" || fail "README differs"
zcat "$page" | cmp doc/tonvelo.1 - || fail "man page differs"
# gzip -n: no name and no time stamp, so the package builds the same twice.
[ "$(od -An -tx1 -j3 -N5 "$page" | tr -d ' ')" = 0000000000 ] || fail "man page gzip header holds a name or time"
zcat "$doc/changelog.gz" | head -n 1 | grep -q '^tonvelo (0\.1) ' || fail "changelog does not name 0.1"

file "$tmp/root/usr/bin/tonvelo" | grep -q 'ELF .*, stripped$' ||
	fail "program is not a stripped ELF file: $(file "$tmp/root/usr/bin/tonvelo")"
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

unzip -l "$zip" | tee "$tmp/zlisting"
awk '$4 != "" && $1 ~ /^[0-9]+$/ { print $4 }' "$tmp/zlisting" | LC_ALL=C sort >"$tmp/zfiles"
printf 'LICENSE\nREADME.md\ntonvelo.exe\n' >"$tmp/zwant"
diff -u "$tmp/zwant" "$tmp/zfiles" || fail "unexpected files in $zip"
unzip -p "$zip" README.md | cmp README.md - || fail "README in the zip differs"
unzip -p "$zip" LICENSE | cmp LICENSE - || fail "LICENSE in the zip differs"
unzip -p "$zip" tonvelo.exe >"$tmp/tonvelo.exe"
file "$tmp/tonvelo.exe" | grep -q 'PE32+ executable (console) x86-64.*Windows' ||
	fail "not a Windows console program: $(file "$tmp/tonvelo.exe")"
# The MinGW runtime DLLs are not on a clean Windows: the program must not
# need any that the zip does not bring along.
objdump=x86_64-w64-mingw32-objdump
command -v "$objdump" >/dev/null || fail "$objdump not found (binutils-mingw-w64-x86-64)"
"$objdump" -p "$tmp/tonvelo.exe" | awk '/DLL Name:/ { print $3 }' >"$tmp/dlls"
[ -s "$tmp/dlls" ] || fail "no DLL imports read from tonvelo.exe"
while read -r dll; do
	case "$dll" in
	lib*.dll | LIB*.DLL)
		grep -qix "$dll" "$tmp/zfiles" || fail "tonvelo.exe needs $dll, which the zip lacks"
		;;
	esac
done <"$tmp/dlls"
echo "check-packages: $zip is sound"
