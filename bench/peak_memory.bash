# The engine's peak memory for a million tiny files, for the copy benchmark. Sourced by
# copy_bench.sh, whose helpers (mib) and folders it uses.
# shellcheck disable=SC2154

# Workload m (only when asked for): a million tiny files laid out as workload s's tree
# (folders of 100), then as one folder of them all below the top (the check lists it
# beside the walk and may keep its listing), each copied fresh and then again onto
# its copy, unchanged, where the copy's record is read; prints the most memory each run held
# (max RSS). QM_BENCH_PEAK_FILES sets the count. Each tree and its copy are removed once
# measured: together they take about 10 GB on tmpfs.
peak_memory() {
  local count="${QM_BENCH_PEAK_FILES:-1000000}" layout run line="peak-1m:"
  for layout in tiny flat; do
    if [[ "$layout" == flat ]]; then
      "$bin/qm_tree_maker" flat "$work/peak-source/all" "$count"
    else
      "$bin/qm_tree_maker" tiny "$work/peak-source" "$count"
    fi
    for run in fresh unchanged; do
      /usr/bin/time -f %M -o "$work/peak" "$bin/qm_copy" "$work/peak-source" "$work/peak-copy"
      line+=" ${layout}_${run}_mib=$(mib "$(cat "$work/peak")")"
    done
    diff -rq "$work/peak-source" "$work/peak-copy" >/dev/null || {
      echo "contents differ: $work/peak-copy" >&2
      exit 1
    }
    rm -rf "$work/peak-source" "$work/peak-copy" "$work/.peak-copy.sha256"
  done
  echo "$line"
}
