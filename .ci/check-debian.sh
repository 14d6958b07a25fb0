#!/usr/bin/env bash
# For maintainers; CI does not run it. Tries the README and CI on fresh
# Debian roots, one per release (default: bookworm trixie sid), made with
# mmdebstrap below ROOTS (default /var/tmp/tonvelo-roots):
#
#   sudo bash .ci/check-debian.sh [-d ROOTS] [SUITE...]
#
# In each root, on a clone of the commit checked out here (uncommitted
# changes are in none), it runs the README's first command and its test
# command as a user who has sudo, the latter once without and once with
# fuse3 installed, then the README's Install steps as that user, and
# `CI=true bash .ci/run` as root in a clone of its own. It ends with a
# table of each step, its result and its time; each step's output is in
# ROOTS/SUITE-STEP.log. A root is made afresh on every run and left on disk
# afterwards to look into; the mounts it needed are undone whatever
# happens.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

roots=/var/tmp/tonvelo-roots
if [ "${1:-}" = -d ]; then
	roots=$2
	shift 2
fi
suites=("$@")
[ ${#suites[@]} -gt 0 ] || suites=(bookworm trixie sid)
[ "$(id -u)" = 0 ] || { echo "check-debian: run it as root (mmdebstrap, mounts, chroot)" >&2; exit 1; }
command -v mmdebstrap >/dev/null || { echo "check-debian: apt-get install mmdebstrap" >&2; exit 1; }
head=$(git rev-parse HEAD)
mkdir -p "$roots"
roots=$(realpath "$roots")

# The mounts are made in a mount namespace of this script's own: they go
# away with it, even if it is killed, and nobody else sees them.
if [ -z "${TONVELO_CHECK_DEBIAN_NS:-}" ]; then
	export TONVELO_CHECK_DEBIAN_NS=1
	exec unshare --mount --propagation private bash "$repo/.ci/check-debian.sh" -d "$roots" "${suites[@]}"
fi

results=()
root=""

# What a chroot lacks for the tests: /proc, /sys, and a /dev of its own
# with what the tests open: /dev/fuse open to all, as Debian has it, loop
# devices, and pseudo-terminals. /tmp stays the root's own folder.
mount_all() {
	local n
	mount -t proc proc "$root/proc"
	mount -t sysfs sysfs "$root/sys"
	chmod 1777 "$root/tmp"
	mount -t tmpfs -o mode=755,nosuid tmpfs "$root/dev"
	mknod -m 666 "$root/dev/null" c 1 3
	mknod -m 666 "$root/dev/zero" c 1 5
	mknod -m 666 "$root/dev/full" c 1 7
	mknod -m 666 "$root/dev/random" c 1 8
	mknod -m 666 "$root/dev/urandom" c 1 9
	mknod -m 666 "$root/dev/tty" c 5 0
	mknod -m 666 "$root/dev/fuse" c 10 229
	mknod -m 660 "$root/dev/loop-control" c 10 237
	for n in $(seq 0 15); do mknod -m 660 "$root/dev/loop$n" b 7 "$n"; done
	ln -s /proc/self/fd "$root/dev/fd"
	ln -s /proc/self/fd/0 "$root/dev/stdin"
	ln -s /proc/self/fd/1 "$root/dev/stdout"
	ln -s /proc/self/fd/2 "$root/dev/stderr"
	mkdir "$root/dev/pts" "$root/dev/shm"
	mount -t devpts -o newinstance,ptmxmode=0666,mode=620,gid=5 devpts "$root/dev/pts"
	ln -s pts/ptmx "$root/dev/ptmx"
	mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
}

# Ends what is still running in the root (a Wine server, a FUSE daemon),
# then undoes every mount below it, the deepest first, lazily if busy.
unmount_all() {
	local pid targets t
	[ -n "$root" ] || return 0
	for pid in /proc/[0-9]*; do
		[ "$(readlink "$pid/root" 2>/dev/null)" = "$root" ] && kill -9 "${pid#/proc/}" 2>/dev/null
	done
	sleep 1
	targets=$(findmnt -rn -o TARGET | awk -v r="$root/" 'index($0, r) == 1' | sort -r)
	for t in $targets; do
		umount "$t" 2>/dev/null || umount -l "$t" 2>/dev/null || true
	done
	root=""
}
trap unmount_all EXIT

# The mounts that a test left below the root: a FAT image, through the
# kernel or FUSE.
leftover_mounts() {
	findmnt -rn -o TARGET,FSTYPE | awk -v r="$root/" 'index($1, r) == 1 && ($2 ~ /^(vfat|fuse|fuseblk)$/ || $2 ~ /^fuse\./) { print $1 }'
}

# step NAME USER COMMAND: runs COMMAND with bash in the root, as USER in
# USER's clone, and notes the result and time.
step() {
	local name=$1 user=$2 command=$3 log=$roots/$suite-$1.log start result home=/home/$2
	[ "$user" = root ] && home=/root
	start=$(date +%s)
	echo "check-debian: $suite: $name"
	if chroot "$root" runuser -u "$user" -- env -i HOME="$home" USER="$user" LOGNAME="$user" \
		PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
		bash -ec "cd ~/tonvelo
$command" </dev/null >"$log" 2>&1; then
		result=passed
	else
		result="FAILED ($?)"
		tail -n 30 "$log"
	fi
	local left
	left=$(leftover_mounts)
	if [ -n "$left" ]; then
		result="FAILED (left mounted: $(echo $left))"
		echo "$left" | sort -r | while read -r t; do umount "$t" || umount -l "$t"; done
	fi
	results+=("$(printf '%-9s %-22s %-40s %5ss' "$suite" "$name" "$result" $(($(date +%s) - start)))")
}

# The README's indented command lines: block N of section SECTION.
readme_block() {
	awk -v section="## $1" -v want="$2" '
		/^## / { inside = ($0 == section); block = 0; was = 0; next }
		inside && /^    / { if (!was) block++; was = 1; if (block == want) print substr($0, 5); next }
		{ was = 0 }
	' "$repo/README.md"
}
first=$(readme_block "The two commands" 1)
tests=$(readme_block "The two commands" 2)
install=$(readme_block "Install" 1)
[ -n "$first" ] && [ "$tests" = "sh tests/run.sh" ] && [ -n "$install" ] ||
	{ echo "check-debian: the README's commands are not where expected" >&2; exit 1; }
# A user runs apt-get through sudo, as the README says.
install=$(printf '%s\n' "$install" | sed -E 's/(^|&& )apt-get /\1sudo apt-get /g')

for suite in "${suites[@]}"; do
	dir=$roots/$suite
	if findmnt -rn -o TARGET | grep -q "^$dir/"; then
		echo "check-debian: $dir has mounts; not touched" >&2
		exit 1
	fi
	rm -rf "$dir"
	start=$(date +%s)
	# Check-Valid-Until: a mirror frozen in time still serves its packages.
	if mmdebstrap --variant=apt --include=cmake,g++,make,git,sudo \
		--aptopt='Acquire::Check-Valid-Until "false"' "$suite" "$dir" >"$roots/$suite-root.log" 2>&1; then
		results+=("$(printf '%-9s %-22s %-40s %5ss' "$suite" root passed $(($(date +%s) - start)))")
	else
		results+=("$(printf '%-9s %-22s %-40s %5ss' "$suite" root "FAILED" $(($(date +%s) - start)))")
		continue
	fi
	root=$dir
	mount_all

	# A user with sudo, who answers yes; no service starts in the root.
	# (Since Debian 13 useradd comes with passwd, which the root lacks.)
	chroot "$root" sh -c 'command -v useradd >/dev/null ||
		{ apt-get update -q && apt-get install -y -q passwd; }' >"$roots/$suite-user.log" 2>&1
	chroot "$root" useradd -m -s /bin/bash tester
	echo 'tester ALL=(ALL) NOPASSWD: ALL' >"$root/etc/sudoers.d/tester"
	chmod 440 "$root/etc/sudoers.d/tester"
	echo 'APT::Get::Assume-Yes "true";' >"$root/etc/apt/apt.conf.d/90yes"
	echo 'debconf debconf/frontend select Noninteractive' | chroot "$root" debconf-set-selections
	printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
	chmod 755 "$root/usr/sbin/policy-rc.d"
	for home in home/tester root; do
		git clone -q --no-checkout "$repo" "$root/$home/tonvelo"
		git -C "$root/$home/tonvelo" checkout -q "$head"
	done
	chroot "$root" chown -R tester:tester /home/tester/tonvelo
	mkdir -p "$root/home/tester/Music/Artist"
	printf 1 >"$root/home/tester/Music/Artist/a.ogg"
	chroot "$root" chown -R tester:tester /home/tester/Music

	step first-command tester "$first && test -s ~/Music/playlist.m3u"
	step tests tester "$tests"
	step tests-with-fuse3 tester "sudo apt-get install fuse3 && $tests"
	step install tester "$install && tonvelo --version && man -w tonvelo"
	step ci root "CI=true bash .ci/run"
	unmount_all
done

echo
printf '%-9s %-22s %-40s %6s\n' release step result time
printf '%s\n' "${results[@]}" | tee "$roots/results.txt"
! printf '%s\n' "${results[@]}" | grep -q FAILED
