#!/usr/bin/env bash
# Times tonvelo against the shell pipeline people would use instead, on
# generated libraries of about 10k, 122k and 1M playlist entries.
#
#   bash bench/run.sh [path/to/tonvelo]
#
# Libraries live in $TONVELO_BENCH_DIR (default /var/tmp/tonvelo-bench) and
# are made once. Needs hyperfine, GNU time, python3 (apt-get install
# hyperfine time python3). Prints medians, the ratio tonvelo/pipeline,
# peak resident memory against the playlist's size, and time per entry.
set -euo pipefail
for tool in hyperfine /usr/bin/time python3; do
	command -v "$tool" >/dev/null ||
		{ echo "bench: $tool not found: apt-get install hyperfine time python3" >&2; exit 127; }
done
here=$(cd "$(dirname "$0")" && pwd)
tonvelo=$(realpath "${1:-$here/../build/tonvelo}")
data=${TONVELO_BENCH_DIR:-/var/tmp/tonvelo-bench}
mkdir -p "$data"

declare -A artists=([10k]=164 [122k]=2000 [1m]=16000)
for lib in 10k 122k 1m; do
	[ -d "$data/$lib" ] || { echo "generating $lib ..." >&2; rm -rf "$data/$lib.partial"; python3 "$here/genlib.py" "$data/$lib" "${artists[$lib]}"; }
done

pipeline() {
	printf '{ printf %q; find -L %q ! -type d ! -path %q ! -path %q | shuf; } > %q' \
		'#EXTM3U\n#created\n' "$1" '*.jpg*' '*.m3u*' "$1/pipeline.m3u"
}

median() { python3 -c 'import json,sys; r=json.load(open(sys.argv[1]))["results"]; print(" ".join("%.4f" % x["median"] for x in r))' "$1"; }

printf '%-6s %9s %12s %12s %7s %12s %12s %10s\n' library entries tonvelo_s pipeline_s ratio peak_MiB playlist_MiB ns/entry
for lib in 10k 122k 1m; do
	dir=$data/$lib
	runs=20; [ "$lib" = 1m ] && runs=5
	json=$(mktemp)
	hyperfine -N --warmup 2 --runs "$runs" --export-json "$json" \
		"$tonvelo $dir" "bash -c '$(pipeline "$dir")'" >/dev/null 2>&1
	read -r t p < <(median "$json")
	rm -f "$json"
	peak=$(/usr/bin/time -f %M "$tonvelo" "$dir" 2>&1 >/dev/null | tail -1)
	size=$(stat -c %s "$dir/playlist.m3u")
	n=$(($(wc -l < "$dir/playlist.m3u") - 2))
	awk -v l="$lib" -v n="$n" -v t="$t" -v p="$p" -v k="$peak" -v s="$size" 'BEGIN {
		printf "%-6s %9d %12.3f %12.3f %7.2f %12.1f %12.1f %10.0f\n",
			l, n, t, p, t / p, k / 1024, s / 1048576, t * 1e9 / n }'
done
echo "memory bound on 1m: peak <= 1.3 x playlist + 16 MiB"
