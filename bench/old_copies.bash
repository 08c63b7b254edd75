# The share of a re-copy spent reading old copies back again, for the copy benchmark.
# Sourced by copy_bench.sh, whose helpers (timed, median, drop_caches, verify_contents) and
# folders it uses.
# shellcheck disable=SC2154

# The old copies' read-back ("o"): a fresh copy of workload a's tree onto exFAT (read back,
# as on every stick), then unchanged re-copies that read old copies back in turn against
# re-copies that read none, alternating, the caches dropped before each; prints the share of
# a re-copy's time spent on old copies (its budget is a quarter), how many files each run
# read back again, and so in how many runs every file is read back once.
old_copies_share() {
  local turn=() none=() checked=() t tool found
  src="$work/small"
  if ! exfat_mount "$work/exfat-old"; then
    echo "scrub-share: skipped: $exfat_error"
    return 0
  fi
  dst="$exfat_point/old"
  timed engine >/dev/null
  local order=(old_in_turn old_none)
  for ((run = 1; run <= runs; run++)); do
    for ((i = 0; i < 2; i++)); do
      tool="${order[(run - 1 + i) % 2]}"
      sync
      drop_caches
      t="$(timed "$tool")"
      if [[ "$tool" == old_in_turn ]]; then
        turn+=("$t")
        checked+=("$(awk '$1 == "#" && $2 == "counts" {print $9}' "$exfat_point/.old.sha256")")
      else
        none+=("$t")
      fi
      echo "  old copies run $run $tool ${t}s" >&2
    done
  done
  verify_contents "$src" "$dst"
  found="$(awk '$1 == "#" && $2 == "counts" {print $3}' "$exfat_point/.old.sha256")"
  exfat_unmount
  local a b c
  a="$(median "${turn[@]}")"
  b="$(median "${none[@]}")"
  c="$(median "${checked[@]}")"
  local share
  share="$(awk -v w="$a" -v o="$b" 'BEGIN {printf "%.0f%%", (w > 0 ? 100 * (w - o) / w : 0)}')"
  echo "scrub-share: $share" \
    "(budget 25%; ${a}s against ${b}s) files_checked=$c of $found" \
    "runs_to_check_all=$(awk -v f="$found" -v c="$c" 'BEGIN {printf "%.0f", (c > 0 ? f / c : 0)}')"
}
