#!/usr/bin/env bash
# Times a flushed copy of one large file by the transfer engine against
# cp + sync of the copy and rsync, in the same run on the same disk, and
# prints the ratios. A benchmark, not a test: nothing here passes or fails.
#
# Builds nothing: build the program first with
#   cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release && ninja -C build copy_bench
# Environment: BUILD_DIR (default: build/ of the source tree), BENCH_DIR (where
# the files go, default: a new directory under $TMPDIR), SIZE_MIB (default 1024),
# ROUNDS (default 3; the best round of each tool counts).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
bench=$build/copy_bench
size_mib=${SIZE_MIB:-1024}
rounds=${ROUNDS:-3}

if [[ ! -x $bench ]]; then
  echo "no $bench: build the copy_bench target first" >&2
  exit 2
fi
for tool in cp sync rsync; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done

work=${BENCH_DIR:-$(mktemp -d "${TMPDIR:-/tmp}/copy-bench.XXXXXX")}
mkdir -p "$work/out"
trap 'rm -rf "$work"' EXIT

echo "creating a ${size_mib} MiB source in $work"
head -c "$((size_mib * 1024 * 1024))" /dev/urandom >"$work/SOURCE.BIN"
sync "$work/SOURCE.BIN"
cat "$work/SOURCE.BIN" >/dev/null  # every tool reads from a warm cache

now() { date +%s.%N; }

# Runs "$@" once into an empty out/ and prints the seconds it took.
time_once() {
  rm -rf "$work/out" && mkdir -p "$work/out" && sync
  local start end
  start=$(now)
  "$@"
  end=$(now)
  cmp -s "$work/SOURCE.BIN" "$work/out/SOURCE.BIN" || { echo "copy differs: $*" >&2; exit 1; }
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f\n", e - s }'
}

engine_copy() { "$bench" "$work/SOURCE.BIN" "$work/out/" >/dev/null </dev/null; }
# --reflink=never: cp must copy the data too, not share the blocks of the source.
cp_sync() { cp --reflink=never "$work/SOURCE.BIN" "$work/out/SOURCE.BIN" && sync "$work/out/SOURCE.BIN"; }
rsync_copy() { rsync "$work/SOURCE.BIN" "$work/out/SOURCE.BIN"; }

# The smaller of two times.
min_time() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }

# Rounds interleave the tools, so that a busy moment of the disk hits all alike;
# the best round of each tool counts.
engine="" cpsync="" rsync_t=""
for ((round = 1; round <= rounds; round++)); do
  engine=$(min_time "$(time_once engine_copy)" "$engine")
  cpsync=$(min_time "$(time_once cp_sync)" "$cpsync")
  rsync_t=$(min_time "$(time_once rsync_copy)" "$rsync_t")
  echo "round $round done"
done

awk -v size="$size_mib" -v en="$engine" -v cs="$cpsync" -v rs="$rsync_t" 'BEGIN {
  printf "%-22s %9s %10s %16s\n", "tool", "seconds", "MiB/s", "engine / tool"
  printf "%-22s %9.3f %10.1f %16s\n", "engine (flushed)", en, size / en, "1.00"
  printf "%-22s %9.3f %10.1f %16.2f\n", "cp + sync of the copy", cs, size / cs, en / cs
  printf "%-22s %9.3f %10.1f %16.2f\n", "rsync (no flush)", rs, size / rs, en / rs
}'
