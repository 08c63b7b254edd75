# Shell helpers for running Windows programs under Wine: which loader runs a program,
# whether this host can run it, and whether a prefix can. Source it (sh or bash).

# The loaders themselves: the "wine" wrapper falls back to the 64-bit loader, which
# cannot run 32-bit programs without the 32-bit half of Wine.
WINE_LOADER_32=/usr/lib/wine/wine
WINE_LOADER_64=$(command -v wine64 2>/dev/null || echo /usr/lib/wine/wine64)

# wine_pe_bits EXE: 64 for a PE32+ program, else 32 (PE32).
wine_pe_bits() {
  local off magic
  off=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  magic=$(od -An -tx2 -j$((off + 24)) -N2 "$1" | tr -d ' ')
  if [ "$magic" = 020b ]; then echo 64; else echo 32; fi
}

# wine_loader BITS: the loader for 32- or 64-bit programs.
wine_loader() {
  if [ "$1" = 64 ]; then echo "$WINE_LOADER_64"; else echo "$WINE_LOADER_32"; fi
}

# wine_cannot_run BITS: prints one line saying why this host cannot run Windows
# programs of that width under Wine, and succeeds; fails when it can.
wine_cannot_run() {
  local loader err
  loader=$(wine_loader "$1")
  err=$("$loader" --version 2>&1) && return 1
  if [ ! -x "$loader" ]; then
    echo "no $1-bit Wine loader ($loader; bash tools/deps installs it)"
  elif echo "$err" | grep -q "Exec format error"; then
    echo "this kernel cannot run $1-bit programs ($loader: Exec format error)"
  else
    echo "$loader does not start: $(echo "$err" | head -n 1)"
  fi
}

# wine_prefix_runs PREFIX BITS: the prefix holds the Windows half for programs of that
# width. A 64-bit prefix made without the 32-bit Wine has no syswow64 and cannot load
# 32-bit programs ("could not load kernel32.dll").
wine_prefix_runs() {
  local arch
  arch=$(sed -n 's/^#arch=//p' "$1/system.reg" 2>/dev/null | head -n 1)
  case "$2:$arch" in
    64:win64 | 32:win32) return 0 ;;
    32:win64) [ -f "$1/drive_c/windows/syswow64/kernel32.dll" ] ;;
    *) return 1 ;;
  esac
}

# wine_copy_prefix FROM TO: TO (not there yet) becomes a prefix of its own made from the
# prefix FROM in a moment: the folders of Wine's DLLs and programs, which nothing here
# writes, hold hard links to FROM's files (a copy would be some 700 MB); the registry,
# the user profile and every other file are copies.
wine_copy_prefix() {
  cp -al "$1" "$2" || return 1
  find "$2" \( -path "$2/drive_c/windows/system32" -o -path "$2/drive_c/windows/syswow64" \
    -o -path "$2/drive_c/windows/winsxs" -o -path "$2/drive_c/Program Files" \
    -o -path "$2/drive_c/Program Files (x86)" \) -prune -o -type f -exec sh -c '
      for f; do cp -p "$f" "$f.copy" && mv -f "$f.copy" "$f" || exit 1; done' sh {} +
}
