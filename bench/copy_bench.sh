#!/usr/bin/env bash
# Times the folder copy against cp -a and rsync -a (each followed by sync) on four workloads
# and checks every copy the engine makes. QM_BENCH_RUNS sets the runs per tool (default 3),
# QM_BENCH_DIR the folder that holds the trees (about 14 GB at the end), QM_BENCH_ONLY a
# subset such as "a c".
set -euo pipefail

bin="${QM_BENCH_BIN:?run through bench/run}"
runs="${QM_BENCH_RUNS:-3}"
only="${QM_BENCH_ONLY:-a b c d}"
work="$(mktemp -d "${QM_BENCH_DIR:-/var/tmp}/qm_copy_bench.XXXXXX")"
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT

now() { date +%s.%N; }
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}'; }
listing() { (cd "$1" && find . -printf '%P %y %T@ %m %s %l\n' | sort); }

# Checks that $2 is an exact copy of $1: contents, times, permission bits.
verify() {
  diff -r "$1" "$2" >/dev/null || { echo "contents differ: $2" >&2; exit 1; }
  cmp -s <(listing "$1") <(listing "$2") || { echo "metadata differ: $2" >&2; exit 1; }
}

# Prepares $dst for one timed run: absent for fresh copies, an older copy otherwise. The
# older copy is made by the engine because it is much faster than cp -a here; it is the
# same tree either way, and the sync leaves nothing of it to write during the timing.
# Copies are deleted only when all workloads are done: on file systems mounted with
# "discard", freeing many blocks slows down whatever writes next and would bias the runs.
prepare() {
  local base="$1"
  if [[ -n "$base" ]]; then "$bin/qm_copy" "$base" "$dst"; fi
  sync
}

# Runs one tool from $src into $dst and prints the seconds it took, sync included.
timed() {
  local tool="$1" start end
  start="$(now)"
  case "$tool" in
    engine) /usr/bin/time -f %M -o "$work/peak" "$bin/qm_copy" "$src" "$dst" ;;
    cp) cp -a "$src/." "$dst" ;;
    rsync) rsync -a "$src/" "$dst/" ;;
  esac
  sync
  end="$(now)"
  awk -v s="$start" -v e="$end" 'BEGIN {printf "%.3f", e - s}'
}

# workload NAME SOURCE BASE: BASE is the tree the destination starts as (empty: none).
workload() {
  local name="$1" base="$3" engine=() cp=() rsync=() peak=0 t
  src="$2"
  local order=(engine cp rsync)
  for ((run = 1; run <= runs; run++)); do
    # Each run starts with another tool, so that none always profits from a warm cache.
    for ((i = 0; i < 3; i++)); do
      tool="${order[(run - 1 + i) % 3]}"
      dst="$work/copy-$name-$run-$tool"
      prepare "$base"
      t="$(timed "$tool")"
      case "$tool" in
        engine)
          engine+=("$t")
          peak="$(awk -v p="$peak" -v k="$(cat "$work/peak")" 'BEGIN {print (k > p ? k : p)}')"
          verify "$src" "$dst"
          ;;
        cp) cp+=("$t") ;;
        rsync) rsync+=("$t") ;;
      esac
      echo "  $name run $run $tool ${t}s" >&2
    done
  done
  local e c r
  e="$(median "${engine[@]}")"
  c="$(median "${cp[@]}")"
  r="$(median "${rsync[@]}")"
  echo "copy-$name: engine_s=$e cp_a_s=$c rsync_a_s=$r vs_cp_a=$(ratio "$e" "$c")" \
    "vs_rsync_a=$(ratio "$e" "$r") peak_mib=$(awk -v k="$peak" 'BEGIN {printf "%.1f", k / 1024}')"
}

wants() { [[ " $only " == *" $1 "* ]]; }

echo "building trees in $work" >&2
if wants a || wants c || wants d; then "$bin/qm_tree_maker" small "$work/small"; fi
if wants d; then cp -a "$work/small" "$work/changed" && "$bin/qm_tree_maker" change "$work/changed"; fi
if wants b; then "$bin/qm_tree_maker" big "$work/big"; fi
sync

if wants a; then workload a "$work/small" ""; fi
if wants b; then workload b "$work/big" ""; fi
if wants c; then workload c "$work/small" "$work/small"; fi
if wants d; then workload d "$work/changed" "$work/small"; fi
