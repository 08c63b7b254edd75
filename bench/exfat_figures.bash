# The copy benchmark's figures on an exFAT volume mounted with FUSE: workload e (copy-e:)
# and the read-back's cost (verify-cost:, verify-vs-peer:). Sourced by copy_bench.sh, whose
# helpers (timed, median, ratio, verify) and folders it uses.
# shellcheck disable=SC2154

# Files below $1 that are new or were replaced since the listing $2 (inode numbers change
# when a file is written anew on the FUSE volume, which keeps them while mounted).
written_since() {
  comm -13 "$2" <(cd "$1" && find . -type f -printf '%i %P\n' | sort) | wc -l
}

# Workload e on a fresh exFAT volume: fresh copy against cp -r, unchanged re-copy against
# the FAT recipe re-copying an unchanged tree, and how many files the re-copy wrote.
workload_e() {
  src="$work/small"
  local fresh=() cpr=() recopy=() rsyncs=() written=0 mount
  if ! exfat_mount "$work/exfat"; then
    echo "copy-e: skipped: $exfat_error"
    return 0
  fi
  mount="$exfat_point"
  for ((run = 1; run <= runs; run++)); do
    dst="$mount/engine-$run"
    sync
    fresh+=("$(timed engine)")
    dst="$mount/cp-$run"
    cpr+=("$(timed cp_r)")
    dst="$mount/engine-$run"
    (cd "$dst" && find . -type f -printf '%i %P\n' | sort) >"$work/listing"
    recopy+=("$(timed engine)")
    written=$((written + $(written_since "$dst" "$work/listing")))
    verify_contents "$src" "$dst"
    dst="$mount/rsync-$run"
    rsync -rt --modify-window=1 "$src/" "$dst/" && sync
    rsyncs+=("$(timed rsync_fat)")
    echo "  e run $run fresh ${fresh[-1]}s cp_r ${cpr[-1]}s recopy ${recopy[-1]}s" \
      "rsync_fat ${rsyncs[-1]}s" >&2
  done
  exfat_unmount
  local f c r s
  f="$(median "${fresh[@]}")"
  c="$(median "${cpr[@]}")"
  r="$(median "${recopy[@]}")"
  s="$(median "${rsyncs[@]}")"
  echo "copy-e: fresh_s=$f cp_r_s=$c vs_cp_r=$(ratio "$f" "$c") recopy_s=$r rsync_fat_s=$s" \
    "vs_rsync_fat=$(ratio "$r" "$s") files_written=$written"
}

# Drops the kernel's clean caches, where this machine lets it.
drop_caches() { echo 3 >/proc/sys/vm/drop_caches 2>/dev/null || true; }
can_drop_caches() { [[ -w /proc/sys/vm/drop_caches ]]; }

# on_exfat NAME SOURCE A B: fresh copies by tool A against tool B from SOURCE onto a fresh
# exFAT volume, alternating which goes first, each copy removed after it is checked and
# every run started with the caches dropped; sets paired_a and paired_b to their medians,
# or fails with the reason in $exfat_error.
on_exfat() {
  local name="$1" first=() second=() t tool
  src="$2"
  exfat_mount "$work/exfat-$name" || return 1
  local order=("$3" "$4")
  for ((run = 1; run <= runs; run++)); do
    for ((i = 0; i < 2; i++)); do
      tool="${order[(run - 1 + i) % 2]}"
      dst="$exfat_point/$name-$run-$tool"
      sync
      drop_caches
      t="$(timed "$tool")"
      if [[ "$tool" == "$3" ]]; then first+=("$t"); else second+=("$t"); fi
      verify_contents "$src" "$dst"
      rm -rf "$dst"
      echo "  $name run $run $tool ${t}s" >&2
    done
  done
  exfat_unmount
  paired_a="$(median "${first[@]}")"
  paired_b="$(median "${second[@]}")"
}

# The read-back's cost on workloads e and b, and against checking a copy by hand.
read_back_figures() {
  local e b side peer
  if ! on_exfat verify-e "$work/small" read_back no_read_back; then
    echo "verify-cost: skipped: $exfat_error"
    return 0
  fi
  e="$(ratio "$paired_a" "$paired_b") (${paired_a}s against ${paired_b}s)"
  on_exfat verify-b "$work/big" read_back no_read_back
  b="$(ratio "$paired_a" "$paired_b") (${paired_a}s against ${paired_b}s)"
  # The same with the large files side by side, as the copy wrote them before it took the
  # medium into account.
  on_exfat verify-b-side "$work/big" read_back_side no_read_back
  side="$(ratio "$paired_a" "$paired_b") (${paired_a}s against ${paired_b}s)"
  echo "verify-cost: e=$e b=$b b_side_by_side=$side"
  if ! can_drop_caches; then
    echo "verify-vs-peer: skipped: the caches cannot be dropped here"
    return 0
  fi
  on_exfat peer-e "$work/small" read_back by_hand
  peer="$(ratio "$paired_a" "$paired_b") (${paired_a}s against ${paired_b}s)"
  echo "verify-vs-peer: e=$peer"
}

# Contents only: the exFAT volume keeps neither permission bits nor nanoseconds.
verify_contents() {
  diff -r "$1" "$2" >/dev/null || { echo "contents differ: $2" >&2; exit 1; }
}
