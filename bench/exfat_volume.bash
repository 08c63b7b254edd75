# An exFAT image on a loop device, mounted with exfat-fuse, for the copy benchmark. Sourced.

exfat_loop=""
exfat_point=""
exfat_error=""

# exfat_mount FOLDER: makes and mounts the volume at $exfat_point; else says why in
# $exfat_error and fails.
exfat_mount() {
  local folder="$1" tool
  exfat_error=""
  if [[ "$(id -u)" -ne 0 ]]; then exfat_error="needs root to mount an exFAT image with FUSE"; fi
  if [[ -z "$exfat_error" && ! -w /dev/fuse ]]; then exfat_error="needs /dev/fuse"; fi
  for tool in mkfs.exfat mount.exfat-fuse losetup; do
    if [[ -z "$exfat_error" ]] && ! command -v "$tool" >/dev/null; then
      exfat_error="needs $tool (bash tools/deps)"
    fi
  done
  [[ -z "$exfat_error" ]] || return 1
  mkdir -p "$folder/mnt"
  truncate -s 2G "$folder/exfat.img"
  # 4 KiB clusters: the small files of the tree fit the volume several times over.
  if ! mkfs.exfat -c 4K "$folder/exfat.img" >/dev/null 2>&1; then
    exfat_error="mkfs.exfat failed"
    return 1
  fi
  if ! exfat_loop="$(losetup -f --show "$folder/exfat.img" 2>/dev/null)"; then
    exfat_loop=""
    exfat_error="no free loop device"
    return 1
  fi
  if ! mount.exfat-fuse "$exfat_loop" "$folder/mnt" >/dev/null 2>&1; then
    exfat_error="mount.exfat-fuse cannot mount here"
    exfat_unmount
    return 1
  fi
  exfat_point="$folder/mnt"
}

exfat_unmount() {
  if [[ -n "$exfat_point" ]]; then umount "$exfat_point" 2>/dev/null; exfat_point=""; fi
  if [[ -n "$exfat_loop" ]]; then losetup -d "$exfat_loop" 2>/dev/null; exfat_loop=""; fi
}
