# Shell helpers for checks that drive programs in a private X server: a display of its
# own (Xvfb picks a free one, -displayfd), an optional window manager, polling waits and
# cleanup by process id. Source it (sh or bash), then:
#   x_start [--wm]        Xvfb on a free display, DISPLAY exported; --wm adds openbox.
#                         The pointer starts in the middle of the screen; without a
#                         window manager the keyboard goes to the window under it.
#   x_window REGEX [S]    id of a visible window whose name matches, within S seconds
#   x_focus WINDOW        keyboard focus to the window once drawn, checked with the server
#   x_gone PID [S]        true once the process has ended, within S seconds
#   x_wait S CMD...       runs CMD every 0.1 s until it succeeds, within S seconds
#   x_stop                ends the window manager and the server (by PID); call it
#                         from an EXIT trap, with TERM, INT and HUP trapped to exit
# Checks skip (exit 77) when x_have_tools fails.

X_SERVER_PID=""
X_WM_PID=""
X_DIR=""

# x_have_tools TOOL...: true when Xvfb, xdotool and the tools named are installed;
# otherwise names the missing one.
x_have_tools() {
  for x_tool in Xvfb xdotool "$@"; do
    command -v "$x_tool" >/dev/null 2>&1 || { echo "xcheck: $x_tool is not installed"; return 1; }
  done
}

x_wait() {
  local limit=$(($1 * 10)) i=0
  shift
  until "$@"; do
    i=$((i + 1))
    [ "$i" -lt "$limit" ] || return 1
    sleep 0.1
  done
}

# A process id that is gone or a zombie (a child that ended and was not reaped yet).
x__ended() {
  ! kill -0 "$1" 2>/dev/null && return 0
  [ "$(sed -n 's/^State:[[:space:]]*\(.\).*/\1/p' "/proc/$1/status" 2>/dev/null)" = Z ]
}

x_gone() { x_wait "${2:-10}" x__ended "$1"; }

# Xvfb writes the display number and a newline once it accepts connections; the wait
# also ends when the server has ended.
x__server_settled() {
  [ "$(wc -l < "$X_DIR/display")" -ge 1 ] || x__ended "$X_SERVER_PID"
}

x__wm_ready() {
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'
}

x_start() {
  local wm=0
  [ "${1:-}" = --wm ] && wm=1
  X_DIR=$(mktemp -d "${TMPDIR:-/tmp}/qm-x.XXXXXX")
  : > "$X_DIR/display"
  # -noreset: by default the server resets when its last client leaves (each xdotool
  # call), and a client that connects during the reset can hang or be refused.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$X_DIR/display" \
    >"$X_DIR/xvfb.log" 2>&1 &
  X_SERVER_PID=$!
  if ! x_wait 30 x__server_settled || [ "$(wc -l < "$X_DIR/display")" -lt 1 ]; then
    echo "xcheck: Xvfb gave no display within 30 s:" >&2
    cat "$X_DIR/xvfb.log" >&2
    x_stop
    return 1
  fi
  DISPLAY=:$(head -n 1 "$X_DIR/display")
  export DISPLAY
  [ "$wm" = 1 ] || return 0
  openbox --sm-disable >"$X_DIR/openbox.log" 2>&1 &
  X_WM_PID=$!
  if ! x_wait 30 x__wm_ready; then
    echo "xcheck: openbox did not start:" >&2
    cat "$X_DIR/openbox.log" >&2
    x_stop
    return 1
  fi
}

x__first_window() {
  local ids
  ids=$(xdotool search --all --onlyvisible --name "$1" 2>/dev/null) || return 1
  [ -n "$ids" ] && echo "$ids" | head -n 1
}

x_window() { x_wait "${2:-30}" x__first_window "$1"; }

x__focused() {
  xdotool windowfocus --sync "$1" >/dev/null 2>&1
  [ "$(xdotool getwindowfocus -f 2>/dev/null)" = "$1" ]
}

# More than one colour: the program has drawn the window, so keys sent to it no longer
# go to the window that had the focus before (needs ImageMagick's import).
x__drawn() { [ "$(import -window "$1" -format '%k' info: 2>/dev/null || echo 0)" -gt 1 ]; }

x_focus() {
  command -v import >/dev/null && x_wait 10 x__drawn "$1"
  x_wait 10 x__focused "$1"
}

x_stop() {
  for x_pid in "$X_WM_PID" "$X_SERVER_PID"; do
    [ -n "$x_pid" ] || continue
    kill "$x_pid" 2>/dev/null || true
    wait "$x_pid" 2>/dev/null || true
  done
  X_WM_PID=""
  X_SERVER_PID=""
  [ -n "$X_DIR" ] && rm -rf "$X_DIR"
  X_DIR=""
}
