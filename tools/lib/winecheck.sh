# Shell helpers for checks of the Windows programs under Wine in a private X server
# (tools/lib/xcheck.sh): reading a program's windows with the probe, starting and ending
# programs, typing into a box, a job file in code page 932. Source it after setting
#   here   the tools folder       probe  the probe program (win32_probe.exe)
#   home   the Wine home          out    a folder for the probe's output
# then call wc_begin. The checks that use it run one at a time (RUN_SERIAL): ending the
# prefix's wineserver ends only their own programs.
. "$here/lib/xcheck.sh"

app=""

fail() { echo "FAIL: $*"; exit 1; }

# expect FILE LINE: the probe's output holds that line.
expect() {
  grep -qxF "$2" "$1" || { echo "--- probe output:"; cat "$1"; fail "no line: $2"; }
}

# probe ARGS...: the probe's output without carriage returns; its exit status.
probe() {
  local rc
  "$here/wine-run" "$probe" "$@" > "$out/probe.raw" 2>/dev/null
  rc=$?
  tr -d '\r' < "$out/probe.raw"
  return $rc
}

# start EXE [FOLDER]: the program in the background (in FOLDER), its process id in $app.
start() { (cd "${2:-.}" && exec "$here/wine-run" "$1") >/dev/null 2>&1 & app=$!; }

end_wine() { WINEPREFIX="$home/prefix" wineserver -k >/dev/null 2>&1; }

# finish: ends the program started last and every other program of the prefix.
finish() {
  [ -n "$app" ] && kill "$app" 2>/dev/null
  app=""
  end_wine
  sleep 1
}

# ends STEP: the program started last ends by itself within 10 s after STEP.
ends() { x_gone "$app" 10 || fail "the program did not end $1"; app=""; }

# type_box TITLE GEOMETRY TEXT: the focused box at GEOMETRY in the window TITLE ends up
# holding TEXT. xdotool types a character outside the keyboard map by remapping a spare
# key for a moment, which a busy Wine may read too late; the text is checked and typed
# again when a character was lost.
type_box() {
  local attempt shown
  for attempt in 1 2 3 4 5; do
    xdotool type --delay 100 "$3"
    sleep 0.5
    shown=$(probe window "$1" | grep "^Edit|.*|$2\$" | cut -d'|' -f2)
    [ "$shown" = "$3" ] && return 0
    echo "typed \"$3\", the box shows \"$shown\"; typing again (attempt $attempt)"
    xdotool key Home shift+End
  done
  fail "the box at $2 never showed what was typed"
}

# job SOURCE DESTINATION BASE FILE: a job in code page 932 with CRLF lines, as the setup
# tool writes it.
job() {
  printf '"%s"\r\n"%s"\r\n"%s"\r\n' "$1" "$2" "$3" | iconv -f UTF-8 -t CP932 > "$4"
}

wc_cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null
  end_wine
  x_stop
}

# wc_begin [--wm] [TOOL...]: exits 77 when the X tools (or those named) are missing;
# otherwise starts the X server (--wm: with openbox as the window manager), ends
# everything on exit (or call wc_cleanup from your own EXIT trap), and runs the probe
# once in the display, exiting 77 when Wine cannot run it. Wine's desktop process belongs
# to the first program of a wineserver and to its display: it must not start without one.
wc_begin() {
  local wm=""
  [ "${1:-}" = --wm ] && { wm=--wm; shift; set -- openbox xprop "$@"; }
  x_have_tools "$@" || exit 77
  mkdir -p "$out"
  trap wc_cleanup EXIT
  trap 'exit 143' TERM INT HUP
  x_start $wm || exit 1
  "$here/wine-run" "$probe" >/dev/null 2>&1
  [ $? = 77 ] && { echo "Wine cannot run the probe here; skipping"; exit 77; }
  return 0
}
