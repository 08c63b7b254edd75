#!/usr/bin/env bash
# Times the folder copy against cp -a and rsync -a (each followed by sync) on four workloads
# and checks every copy the engine makes; then the cost of progress reporting on workloads a
# and b ("p"), the share of the check before writing in a fresh copy of a and an unchanged
# re-copy c ("k"), the share of the copy's record beside it in the same two ("r"), and
# workload e: the 20,000-file tree onto an exFAT volume mounted with FUSE,
# against cp -r and the FAT recipe rsync -rt --modify-window=1; then the read-back ("v"): its
# cost, fresh copies onto exFAT with it against copies without (workloads e and b), and the
# copy with it against checking a copy by hand (cp -r, sync, the cache dropped, diff -r);
# then the old copies read back again in turn ("o", scrub-share:).
# Workload m (only when asked for) gives the peak memory for a million tiny files, in folders
# and in one folder, fresh and unchanged (peak-1m:).
# Workload s (only when asked for) copies 200,000 tiny files against cp -a and tar piped into
# tar, and counts system calls per file under strace. Workloads a and s also time the minimal
# copier (bench/min_copy.cpp), the floor with no checks at all, by plain calls (min) and
# batched through io_uring (min_uring, where built with liburing), and give the engine's ratio
# to each (vs_min=, vs_min_uring=); and the engine with each file's bytes moved through
# io_uring (QM_DATA=ring: ring_s=, vs_ring=) and by the kernel's copy alone (QM_DATA=kernel:
# kernel_s=, vs_kernel=), the ring switched off.
# QM_BENCH_RUNS sets the runs per tool (default 3), QM_BENCH_DIR the folder that holds the
# trees (about 16 GB at the end), QM_BENCH_ONLY a subset such as "a c e" (s is not in the
# default list). QM_BENCH_BEFORE, the bench folder of an earlier build, times that build's
# copy in the same rotation on workloads a-d and adds before_s= and vs_before= to their lines.
set -euo pipefail

bin="${QM_BENCH_BIN:?run through bench/run}"
runs="${QM_BENCH_RUNS:-3}"
only="${QM_BENCH_ONLY:-a b c d p k r e v o}"
before="${QM_BENCH_BEFORE:-}"
work="$(mktemp -d "${QM_BENCH_DIR:-/var/tmp}/qm_copy_bench.XXXXXX")"
here="$(cd "$(dirname "$0")" && pwd)"
trap 'exfat_unmount; chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
# shellcheck source=bench/exfat_volume.bash
source "$here/exfat_volume.bash"
# shellcheck source=bench/old_copies.bash
source "$here/old_copies.bash"
# shellcheck source=bench/peak_memory.bash
source "$here/peak_memory.bash"
# shellcheck source=bench/exfat_figures.bash
source "$here/exfat_figures.bash"

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
# On a memory-backed volume, which discards nothing, each goes once timed and checked: the
# copies would take the machine's memory (a gigabyte a copy of workload b).
keep_copies=keep
if [[ "$(stat -f -c %T "$work")" == tmpfs ]]; then keep_copies=drop; fi
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
    before) "$before/qm_copy" "$src" "$dst" ;;
    plain) QM_PROGRESS=0 "$bin/qm_copy" "$src" "$dst" ;;
    checked) QM_CHECK=1 "$bin/qm_copy" "$src" "$dst" ;;
    read_back) QM_READBACK=1 "$bin/qm_copy" "$src" "$dst" ;;
    read_back_side) QM_READBACK=1 QM_LARGE_FILES=side "$bin/qm_copy" "$src" "$dst" ;;
    no_read_back) QM_READBACK=0 "$bin/qm_copy" "$src" "$dst" ;;
    by_hand) cp -r "$src/." "$dst" && sync && drop_caches && diff -r "$src" "$dst" >/dev/null ;;
    unchecked) QM_CHECK=0 "$bin/qm_copy" "$src" "$dst" ;;
    checked_counted) QM_CHECK=1 QM_PROGRESS=1 "$bin/qm_copy" "$src" "$dst" ;;
    unchecked_counted) QM_CHECK=0 QM_PROGRESS=1 "$bin/qm_copy" "$src" "$dst" ;;
    counted) QM_PROGRESS=1 "$bin/qm_copy" "$src" "$dst" ;;
    recorded) QM_RECORD=1 QM_PROGRESS=1 "$bin/qm_copy" "$src" "$dst" ;;
    unrecorded) QM_RECORD=0 QM_PROGRESS=1 "$bin/qm_copy" "$src" "$dst" ;;
    old_in_turn) "$bin/qm_copy" "$src" "$dst" ;;
    old_none) QM_OLD_COPIES=0 "$bin/qm_copy" "$src" "$dst" ;;
    cp) cp -a "$src/." "$dst" ;;
    cp_r) cp -r "$src/." "$dst" ;;
    rsync) rsync -a "$src/" "$dst/" ;;
    rsync_fat) rsync -rt --modify-window=1 "$src/" "$dst/" ;;
    tar) mkdir -p "$dst" && tar -C "$src" -cf - . | tar -C "$dst" -xf - ;;
    min) "$bin/min_copy" plain "$src" "$dst" ;;
    min_uring) "$bin/min_copy" uring "$src" "$dst" ;;
    ring) QM_DATA=ring "$bin/qm_copy" "$src" "$dst" ;;
    kernel) QM_DATA=kernel "$bin/qm_copy" "$src" "$dst" ;;
  esac
  sync
  end="$(now)"
  awk -v s="$start" -v e="$end" 'BEGIN {printf "%.3f", e - s}'
}

# rotate NAME BASE KEEP TOOL...: $runs copies by each TOOL from $src onto BASE (see workload),
# each run starting with the next tool so that none always profits from a warm cache; appends
# each time to took[TOOL] and keeps the engine's peak memory in $peak. The engine's copies are
# checked in full, the minimal copier's by contents (it keeps no times); KEEP "drop" removes
# each copy once it is timed and checked.
declare -A took
rotate() {
  local name="$1" base="$2" keep="$3" t tool
  shift 3
  local order=("$@") tools=$#
  took=()
  peak=0
  for ((run = 1; run <= runs; run++)); do
    for ((i = 0; i < tools; i++)); do
      tool="${order[(run - 1 + i) % tools]}"
      dst="$work/copy-$name-$run-$tool"
      prepare "$base"
      t="$(timed "$tool")"
      took[$tool]+=" $t"
      case "$tool" in
        engine)
          peak="$(awk -v p="$peak" -v k="$(cat "$work/peak")" 'BEGIN {print (k > p ? k : p)}')"
          verify "$src" "$dst"
          ;;
        ring | kernel) verify "$src" "$dst" ;;
        min | min_uring) verify_contents "$src" "$dst" ;;
      esac
      # The engine's record lies beside its copy, named after it.
      if [[ "$keep" == drop ]]; then rm -rf "$dst" "$work/.${dst##*/}.sha256"; fi
      echo "  $name run $run $tool ${t}s" >&2
    done
  done
}

# Median of the times rotate took for tool $1.
median_of() {
  # shellcheck disable=SC2086 # the times are separated by spaces
  median ${took[$1]}
}

# " min_s=… vs_min=…" for each reference tool in $@ (the minimal copiers, the engine by one
# data method), against the engine's median $1.
against_floor() {
  local e="$1" m tool out=""
  shift
  for tool in "$@"; do
    m="$(median_of "$tool")"
    out+=" ${tool}_s=$m vs_$tool=$(ratio "$e" "$m")"
  done
  printf '%s' "$out"
}

mib() { awk -v k="$1" 'BEGIN {printf "%.1f", k / 1024}'; }

# workload NAME SOURCE BASE [REFERENCE...]: BASE is the tree the destination starts as
# (empty: none); each REFERENCE (a mode of the minimal copier) is timed in the same rotation
# and its median and the engine's ratio to it end the line.
workload() {
  local name="$1" base="$3" order=(engine cp rsync) e c r extra=""
  src="$2"
  if [[ -n "$before" ]]; then order+=(before); fi
  rotate "$name" "$base" "$keep_copies" "${order[@]}" "${@:4}"
  e="$(median_of engine)"
  c="$(median_of cp)"
  r="$(median_of rsync)"
  if [[ -n "$before" ]]; then
    extra=" before_s=$(median_of before) vs_before=$(ratio "$e" "$(median_of before)")"
  fi
  echo "copy-$name: engine_s=$e cp_a_s=$c rsync_a_s=$r vs_cp_a=$(ratio "$e" "$c")" \
    "vs_rsync_a=$(ratio "$e" "$r") peak_mib=$(mib "$peak")$extra$(against_floor "$e" "${@:4}")"
}

# Workload s: 200,000 tiny files copied fresh, where the cost per file is all there is; the
# engine against cp -a, tar piped into tar and the minimal copier. Each copy is removed once
# timed and checked: the tree is too large to keep every run's copies of.
workload_s() {
  local e c t refs
  src="$work/tiny"
  rotate s "" drop engine cp tar "${floor[@]}" "${methods[@]}"
  e="$(median_of engine)"
  c="$(median_of cp)"
  t="$(median_of tar)"
  refs="$(against_floor "$e" "${floor[@]}" "${methods[@]}")"
  echo "copy-s: engine_s=$e cp_a_s=$c tar_s=$t vs_cp_a=$(ratio "$e" "$c")" \
    "vs_tar=$(ratio "$e" "$t") peak_mib=$(mib "$peak")$refs"
}

# System calls per file for the engine, cp -a and the minimal copier, counted by strace -c -f
# in fresh copies of a tree of 20,000 tiny files (laid out as workload s's, a tenth of its
# size: strace slows every call down by far too much for the whole tree).
syscalls_per_file() {
  local tree="$work/tiny-traced" files tool label calls out=""
  if [[ ! -x /usr/bin/strace ]]; then
    echo "syscalls-per-file: skipped: /usr/bin/strace not found"
    return 0
  fi
  files="$(find "$tree" -type f | wc -l)"
  for tool in engine cp "${floor[@]}" "${methods[@]}"; do
    dst="$work/traced-$tool"
    case "$tool" in
      engine) /usr/bin/strace -c -f -o "$work/calls" "$bin/qm_copy" "$tree" "$dst" ;;
      cp) /usr/bin/strace -c -f -o "$work/calls" cp -a "$tree/." "$dst" ;;
      min) /usr/bin/strace -c -f -o "$work/calls" "$bin/min_copy" plain "$tree" "$dst" ;;
      min_uring) /usr/bin/strace -c -f -o "$work/calls" "$bin/min_copy" uring "$tree" "$dst" ;;
      ring | kernel) QM_DATA=$tool /usr/bin/strace -c -f -o "$work/calls" "$bin/qm_copy" "$tree" "$dst" ;;
    esac
    verify_contents "$tree" "$dst"
    rm -rf "$dst" "$work/.${dst##*/}.sha256"
    calls="$(awk '$NF == "total" {print $4}' "$work/calls")"
    label="${tool/_/-}"
    out+=" $label=$(awk -v c="$calls" -v f="$files" 'BEGIN {printf "%.1f", c / f}')"
  done
  echo "syscalls-per-file:$out (strace -c -f, fresh copies of $files tiny files)"
}

# paired NAME SOURCE BASE A B: copies by tool A against tool B from SOURCE onto BASE (see
# workload), alternating which goes first; sets paired_a and paired_b to their medians.
paired() {
  local name="$1" base="$3" first=() second=() t tool
  src="$2"
  local order=("$4" "$5")
  for ((run = 1; run <= runs; run++)); do
    for ((i = 0; i < 2; i++)); do
      tool="${order[(run - 1 + i) % 2]}"
      dst="$work/$name-$run-$tool"
      prepare "$base"
      t="$(timed "$tool")"
      if [[ "$tool" == "$4" ]]; then first+=("$t"); else second+=("$t"); fi
      verify "$src" "$dst"
      if [[ "$keep_copies" == drop ]]; then rm -rf "$dst" "$work/.${dst##*/}.sha256"; fi
      echo "  $name run $run $tool ${t}s" >&2
    done
  done
  paired_a="$(median "${first[@]}")"
  paired_b="$(median "${second[@]}")"
}

# progress_cost NAME SOURCE: fresh copies with progress counters (and a reader polling them
# as a window would) against copies without; prints the ratio of the medians.
progress_cost() {
  paired "progress-$1" "$2" "" counted plain
  ratio "$paired_a" "$paired_b"
}

# check_cost NAME SOURCE BASE [counted]: copies with the check before writing against copies
# without, both with progress counters where asked (as the copy tool runs them); prints
# the check's share of the checked copy's median time.
check_cost() {
  paired "check-$1${4:+-$4}" "$2" "$3" "checked${4:+_$4}" "unchecked${4:+_$4}"
  awk -v w="$paired_a" -v o="$paired_b" 'BEGIN {printf "%.0f%%", (w > 0 ? 100 * (w - o) / w : 0)}'
}

# record_cost NAME SOURCE BASE: copies that leave their record beside them against copies
# that leave none, both counting their progress as the copy tool's do (a record counts its
# run in any case); prints the record's share of the recorded copy's median time.
record_cost() {
  paired "record-$1" "$2" "$3" recorded unrecorded
  awk -v w="$paired_a" -v o="$paired_b" 'BEGIN {printf "%.1f%%", (w > 0 ? 100 * (w - o) / w : 0)}'
}

wants() { [[ " $only " == *" $1 "* ]]; }

# The minimal copier, the floor under every copy (bench/min_copy.cpp): plain calls, and
# io_uring where it was built with liburing.
floor=(min)
if "$bin/min_copy" has-uring; then
  floor+=(min_uring)
elif wants a || wants s; then
  echo "copy-floor: the batched minimal copier is absent (min_copy built without liburing)"
fi

# The engine with the ring and with the kernel's copy alone, on workloads a and s.
methods=(ring kernel)

echo "building trees in $work" >&2
if wants s; then
  "$bin/qm_tree_maker" tiny "$work/tiny"
  "$bin/qm_tree_maker" tiny "$work/tiny-traced" 20000
fi
small_tree=0
for w in a c d p k r e v o; do if wants "$w"; then small_tree=1; fi; done
if ((small_tree)); then "$bin/qm_tree_maker" small "$work/small"; fi
if wants d; then cp -a "$work/small" "$work/changed" && "$bin/qm_tree_maker" change "$work/changed"; fi
if wants b || wants p || wants v; then "$bin/qm_tree_maker" big "$work/big"; fi
sync

if wants a; then workload a "$work/small" "" "${floor[@]}" "${methods[@]}"; fi
if wants b; then workload b "$work/big" ""; fi
if wants c; then workload c "$work/small" "$work/small"; fi
if wants d; then workload d "$work/changed" "$work/small"; fi
if wants p; then
  echo "progress-cost: a=$(progress_cost a "$work/small") b=$(progress_cost b "$work/big")"
fi
if wants k; then
  echo "check-cost: a=$(check_cost a "$work/small" "") c=$(check_cost c "$work/small" "$work/small")" \
    "counted_a=$(check_cost a "$work/small" "" counted)" \
    "counted_c=$(check_cost c "$work/small" "$work/small" counted)"
fi
if wants r; then
  echo "record-cost: a=$(record_cost a "$work/small" "") c=$(record_cost c "$work/small" "$work/small")"
fi
if wants e; then workload_e; fi
if wants v; then read_back_figures; fi
if wants o; then old_copies_share; fi
if wants s; then
  workload_s
  syscalls_per_file
fi
if wants m; then peak_memory; fi
