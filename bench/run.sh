#!/usr/bin/env bash
# Times tonvelo against the shell pipeline people would use instead and
# against a raw floor (floor.c: openat and getdents64, no stat), on
# generated libraries of about 10k, 122k and 1M playlist entries.
#
#   bash bench/run.sh [--large] [--strace] [--strict] [path/to/tonvelo]
#
# --large (or TONVELO_BENCH_LARGE=1) adds 4.84m, 40,000 artists x 10 albums
# x 12 tracks in 440k folders, and 1m+views, the 1m library plus two views
# of every album made of 160,000 links (Genres/ and Years/). --strace also
# counts each program's stats, opens and reads of folders. --strict exits 1
# when a bound is missed; otherwise the bounds are only reported.
#
# Libraries live in $TONVELO_BENCH_DIR (default /var/tmp/tonvelo-bench) and
# are made once (4.84m takes some minutes and 6M inodes). Needs hyperfine,
# GNU time, python3, a C compiler (apt-get install hyperfine time python3
# gcc), and strace for --strace. Prints medians, the ratios, peak resident
# memory against the playlist's size, the load average before and after
# each library, the ratios of user + system time (cpu/), and which bound
# held. The bounds are on the medians: measure them on a quiet machine.
set -euo pipefail
large=${TONVELO_BENCH_LARGE:-} strace= strict=
while [ $# -gt 0 ]; do
	case $1 in
	--large) large=1 ;;
	--strace) strace=1 ;;
	--strict) strict=1 ;;
	*) break ;;
	esac
	shift
done
for tool in hyperfine /usr/bin/time python3 "${CC:-cc}" ${strace:+strace}; do
	command -v "$tool" >/dev/null ||
		{ echo "bench: $tool not found: apt-get install hyperfine time python3 gcc strace" >&2; exit 127; }
done
here=$(cd "$(dirname "$0")" && pwd)
tonvelo=$(realpath "${1:-$here/../build/tonvelo}")
data=${TONVELO_BENCH_DIR:-/var/tmp/tonvelo-bench}
mkdir -p "$data"
floor=$data/floor
"${CC:-cc}" -O2 -o "$floor" "$here/floor.c"

libs="10k 122k 1m"
[ -z "$large" ] || libs+=" 4.84m 1m+views"
declare -A make=([10k]="164" [122k]="2000" [1m]="16000" [4.84m]="40000 10" [1m+views]="16000 5 --views")
# A run on 10k lasts some milliseconds, which a busy host easily doubles:
# more rounds keep its median steady.
declare -A runs=([10k]=63 [122k]=21 [1m]=6 [4.84m]=6 [1m+views]=6)
for lib in $libs; do
	[ -d "$data/$lib" ] || { echo "generating $lib ..." >&2; rm -rf "$data/$lib.partial"; python3 "$here/genlib.py" "$data/$lib" ${make[$lib]}; }
done

pipeline() {
	printf '{ printf %q; find -L %q ! -type d ! -path %q ! -path %q | shuf; } > %q' \
		'#EXTM3U\n#created\n' "$1" '*.jpg*' '*.m3u*' "$1/pipeline.m3u"
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# Times the three in rounds of one run each, so that a load coming and
# going on a shared machine falls on all three alike; the first round only
# warms the cache. Each round starts with the next of the three, and each
# run once the playlists written before it are on disk, so that what one
# leaves behind falls on each alike. Prints the median wall times, then
# the median user + system times, which a busy machine disturbs less.
measure() { # dir rounds
	local r cmds=("$tonvelo $1" "bash -c '$(pipeline "$1")'" "$floor $1 $1/floor.m3u")
	for r in $(seq 0 "$2"); do
		hyperfine -N --runs 1 --prepare sync --export-json "$tmp/$r.json" \
			"${cmds[@]:r % 3}" "${cmds[@]:0:r % 3}" >/dev/null 2>&1
	done
	rm "$tmp/0.json"
	python3 -c 'import json, statistics, sys
runs = [{x["command"]: x for x in json.load(open(f))["results"]} for f in sys.argv[4:]]
wall = [statistics.median(r[c]["times"][0] for r in runs) for c in sys.argv[1:4]]
cpu = [statistics.median(r[c]["user"] + r[c]["system"] for r in runs) for c in sys.argv[1:4]]
print(" ".join("%.4f" % x for x in wall + cpu))' "${cmds[@]}" "$tmp"/*.json
	rm "$tmp"/*.json
}
load() { cut -d' ' -f1 /proc/loadavg; }

missed=0 bounds=
check() { # what value limit
	local r=held
	awk -v v="$2" -v l="$3" 'BEGIN { exit !(v <= l) }' || { r="NOT held"; missed=1; }
	bounds+=$(printf '%-9s %-32s %8.3f <= %8.3f  %s' "$lib" "$1" "$2" "$3" "$r")$'\n'
}

declare -A seconds
printf '%-9s %9s %10s %10s %10s %6s %6s %9s %9s %9s %11s %7s %7s\n' library entries tonvelo_s pipeline_s floor_s /pipe /floor peak_MiB list_MiB ns/entry load cpu/pip cpu/flo
for lib in $libs; do
	dir=$data/$lib
	before=$(load)
	read -r t p f ct cp cf < <(measure "$dir" "${runs[$lib]}")
	peak=$(/usr/bin/time -f %M "$tonvelo" "$dir" 2>&1 >/dev/null | tail -1)
	after=$(load)
	size=$(stat -c %s "$dir/playlist.m3u")
	n=$(($(wc -l < "$dir/playlist.m3u") - 2))
	seconds[$lib]=$t
	awk -v l="$lib" -v n="$n" -v t="$t" -v p="$p" -v f="$f" -v k="$peak" -v s="$size" -v a="$before-$after" -v ct="$ct" -v cp="$cp" -v cf="$cf" 'BEGIN {
		printf "%-9s %9d %10.3f %10.3f %10.3f %6.2f %6.2f %9.1f %9.1f %9.0f %11s %7.2f %7.2f\n",
			l, n, t, p, f, t / p, t / f, k / 1024, s / 1048576, t * 1e9 / n, a, ct / cp, ct / cf }'
	if [ "$lib" = 1m+views ]; then
		# The floor lists links without following them, and find -L lists
		# each album three times: here only the views' own cost is bounded.
		check "tonvelo / same without views" "$(awk -v t="$t" -v b="${seconds[1m]}" 'BEGIN { print t / b }')" 1.3
	else
		check "tonvelo / find|shuf" "$(awk -v t="$t" -v p="$p" 'BEGIN { print t / p }')" 0.55
		check "tonvelo / floor" "$(awk -v t="$t" -v f="$f" 'BEGIN { print t / f }')" 1.10
	fi
	check "peak MiB / (1.3 list + 16 MiB)" "$(awk -v k="$peak" -v s="$size" 'BEGIN { print (k / 1024) / (1.3 * s / 1048576 + 16) }')" 1
done
printf '\nbounds (load average now %s):\n%s' "$(load)" "$bounds"

if [ -n "$strace" ]; then
	echo
	for lib in $libs; do
		dir=$data/$lib
		for prog in "$tonvelo $dir" "$floor $dir $dir/floor.m3u"; do
			out=$tmp/strace
			strace -c -f -o "$out" $prog >/dev/null 2>&1
			awk -v l="$lib" -v p="${prog%% *}" '$NF ~ /^(newfstatat|statx|openat|getdents64|close)$/ { c[$NF] = $4 }
				END { printf "%-9s %-8s newfstatat %8d  statx %8d  openat %8d  getdents64 %8d  close %8d\n",
					l, p ~ /floor$/ ? "floor" : "tonvelo", c["newfstatat"], c["statx"], c["openat"], c["getdents64"], c["close"] }' "$out"
		done
	done
fi
[ -z "$strict" ] || [ "$missed" = 0 ]
