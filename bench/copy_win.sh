#!/usr/bin/env bash
# Times the Windows copy engine under Wine: the 20,000-file tree (workload a) onto a Wine
# drive with one worker and with the default, as "copy-win: workers1_s= default_s= ratio=".
# Wine serialises much of its file work, so the ratio is a floor of what Windows shows.
# Needs the Windows build (tools/build-windows; QM_BENCH_WIN names another build folder);
# QM_BENCH_RUNS sets the runs (default 3). QM_BENCH_WIN_BEFORE, the qm_copy.exe of an
# earlier build, times that one with the default workers in the same rotation and adds
# before_s= and vs_before= to the line.
set -euo pipefail

bin="${QM_BENCH_BIN:?run through bench/run}"
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
runs="${QM_BENCH_RUNS:-3}"
win="${QM_BENCH_WIN:-$root/build-win}"
before="${QM_BENCH_WIN_BEFORE:-}"
if [[ ! -f "$win/CMakeCache.txt" ]]; then
  echo "copy-win: skipped: no Windows build (tools/build-windows)"
  exit 0
fi
cmake --build "$win" --target qm_copy_command >/dev/null
exe="$win/bench/qm_copy.exe"
work="$(mktemp -d "${QM_BENCH_DIR:-/var/tmp}/qm_copy_win.XXXXXX")"
trap 'rm -rf "$work"' EXIT
"$bin/qm_tree_maker" small "$work/src"

now() { date +%s.%N; }
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

# One fresh copy with QM_WORKERS=$1 (0: the default) by the program $2 (this build's by
# default), in seconds, sync included. Wine's Z: drive is the Unix root, so the paths are
# the Unix ones with backslashes.
timed() {
  rm -rf "$work/dst"
  sync
  local start end
  start="$(now)"
  QM_WINE_HOME="$win/wine" QM_WORKERS="$1" "$root/tools/wine-run" "${2:-$exe}" \
    "Z:${work//\//\\}\\src" "Z:${work//\//\\}\\dst"
  sync
  end="$(now)"
  diff -r "$work/src" "$work/dst" >/dev/null || { echo "copy-win: the copy differs" >&2; exit 1; }
  awk -v s="$start" -v e="$end" 'BEGIN {printf "%.3f", e - s}'
}

timed 0 >/dev/null  # the first run makes the Wine prefix
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}'; }
one=() default=() earlier=()
for ((i = 0; i < runs; ++i)); do
  one+=("$(timed 1)")
  default+=("$(timed 0)")
  if [[ -n "$before" ]]; then earlier+=("$(timed 0 "$before")"); fi
done
o="$(median "${one[@]}")" d="$(median "${default[@]}")"
extra=""
if [[ -n "$before" ]]; then
  b="$(median "${earlier[@]}")"
  extra=" before_s=$b vs_before=$(ratio "$d" "$b")"
fi
echo "copy-win: workers1_s=$o default_s=$d ratio=$(ratio "$o" "$d")$extra"
