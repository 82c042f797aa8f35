#!/usr/bin/env bash
# One case of miruton's X11 tests: run-x11.sh CASE BUILD_DIR.
#
# Every case has its own Xvfb; screenshots (miruton-x11-probe) are matched
# pixel for pixel against tessera-show-trace's frames for the same size.
# Exit 0 when every check passed, 77 when the case cannot run here.
set -uo pipefail

CASE=$1
BUILD=$2
MIRUTON=$BUILD/x11/miruton
PROBE=$BUILD/tests/x11/miruton-x11-probe
TRACE=$BUILD/tools/tessera-show-trace
CMAKE=${CMAKE:-cmake}
WORK=$(mktemp -d /tmp/miruton-x11.XXXXXX)
SCREEN=1024x768
pids=()
xvfb=""
xephyr=""

source "$(dirname "${BASH_SOURCE[0]}")/../lib/checks.sh"
now_ms() { date +%s%3N; }

cleanup() {
  local status=$?
  trap - EXIT INT TERM
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  [[ -n "$xephyr" ]] && { kill "$xephyr" 2>/dev/null; wait "$xephyr" 2>/dev/null; }
  [[ -n "$xvfb" ]] && { kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; }
  rm -rf "$WORK"
  exit "$status"
}
trap cleanup EXIT
trap 'log "FAIL: interrupted"; exit 124' INT TERM

# use_display FILE: waits for the number an X server writes with -displayfd
# (and a newline) once it takes clients, and makes it DISPLAY.
use_display() {
  for _ in $(seq 100); do grep -qx '[0-9]\+' "$1" 2>/dev/null && break; sleep 0.1; done
  grep -qx '[0-9]\+' "$1" || { log "FAIL: the X server did not start"; exit 1; }
  export DISPLAY=":$(cat "$1")"
}

# start_x [SIZE [DEPTH [XVFB OPTIONS...]]]: a private X server on a display
# number it picks itself; it keeps its resources (Xft.dpi) when the last
# client leaves.
start_x() {
  command -v Xvfb >/dev/null || { log "SKIP: no Xvfb"; exit 77; }
  local size=${1:-$SCREEN} depth=${2:-24}
  shift $(($# < 2 ? $# : 2))
  rm -f "$WORK/display"
  Xvfb -displayfd 3 -screen 0 "${size}x$depth" -nolisten tcp -noreset "$@" 3>"$WORK/display" \
    >"$WORK/xvfb.log" 2>&1 &
  xvfb=$!
  use_display "$WORK/display"
}

# start_xephyr WxH...: monitors side by side as the Xinerama screens of one
# Xephyr inside the Xvfb, RandR off (plain Xvfb stacks Xinerama screens at
# 0,0). DISPLAY moves to it.
start_xephyr() {
  local screens=() size
  for size in "$@"; do screens+=(-screen "$size"); done
  Xephyr -displayfd 3 "${screens[@]}" +xinerama -extension RANDR -nolisten tcp -noreset \
    3>"$WORK/xephyr-display" >"$WORK/xephyr.log" 2>&1 &
  xephyr=$!
  use_display "$WORK/xephyr-display"
}

# trace NAME SIZE TICKS [OPTIONS...]: the trace tool's frames for a client of
# SIZE ("-" when the options give the monitors). TICKS covers the case's shots
# with room to spare: on a loaded machine under a sanitizer a screenshot takes
# up to a second, and a shot past the trace's end cannot be judged.
trace() {
  local name=$1 size=$2 ticks=$3 client=()
  shift 3
  [[ $size != - ]] && client=(--client "$size")
  mkdir -p "$WORK/$name"
  "$TRACE" "${client[@]}" "$@" --ticks "$ticks" --frames "$WORK/$name" >"$WORK/$name/trace.txt"
}

# start_miruton TAG ARGS...: miruton in the background; its pid in $TAG_pid,
# the time it started in $TAG_started, its standard error in $WORK/TAG.err.
start_miruton() {
  local tag=$1
  shift
  printf -v "${tag}_started" '%s' "$(now_ms)"
  "$MIRUTON" "$@" 2>"$WORK/$tag.err" &
  printf -v "${tag}_pid" '%s' $!
  pids+=($!)
  log "started $tag (pid $!): miruton $*"
}

# alive PID: the process runs (an ended child stays a zombie until waited for).
alive() { [[ $(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) =~ ^[^Z]$ ]]; }

# ends_within PID SECONDS: the process ends in time; its status in $status.
ends_within() {
  local deadline=$(($(now_ms) + $2 * 1000))
  while alive "$1" && (($(now_ms) < deadline)); do sleep 0.02; done
  alive "$1" && return 1
  # The status of a child of this shell; others (the daemon's) give 127.
  if wait "$1" 2>/dev/null; then status=0; else status=$?; fi
  return 0
}

# still_running PID SECONDS
still_running() {
  local deadline=$(($(now_ms) + $2 * 1000))
  while (($(now_ms) < deadline)); do alive "$1" || return 1; sleep 0.1; done
}

# frames_match WHAT WINDOW TRACE SHOTS INTERVAL_MS STARTED_MS [SCALE]
frames_match() {
  local what=$1 window=$2 traced=$WORK/$3
  shift 3
  probe_frames() { "$PROBE" frames "$window" "$traced" "$@" >"$WORK/probe.out"; }
  check "$what: $1 screenshots are the trace's frames" probe_frames "$@"
  sed 's/^/    /' "$WORK/probe.out"
}

# cpu_ticks PID: user + system time in clock ticks.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# ends_on_signal TAG SIGNAL: the signal ends miruton quickly with status 0.
ends_on_signal() {
  local pid_var="${1}_pid" t0 took
  local pid=${!pid_var}
  t0=$(now_ms)
  kill "-$2" "$pid"
  if ends_within "$pid" 5; then
    took=$(($(now_ms) - t0))
    expect_eq "$2 ends it, in $took ms, with status" 0 "$status"
    check "it ended within a second of $2" test "$took" -lt 1000
  else
    fail "$2 did not end it within 5 s"
  fi
  quiet "$1"
  return 0
}

# quiet TAG: miruton wrote nothing but its --verbose line.
quiet() {
  if grep -v '^miruton: window 0x[0-9a-f]*: visual' "$WORK/$1.err" >"$WORK/$1.other"; then
    fail "it wrote to its standard error:"
    sed 's/^/    /' "$WORK/$1.other"
  else
    ok "nothing on its standard error"
  fi
}

# told TAG TEXT: its --verbose line says TEXT, within 10 s (a saver started
# under a sanitizer on a busy machine may take a while to say it).
told() { check "it tells: $2" says_within 100 "$2" "$WORK/$1.err"; }
says_within() {
  local tries=$1
  until grep -q -- "$2" "$3"; do
    ((--tries > 0)) || return 1
    sleep 0.1
  done
}

# host_window SIZE [DESTROY_AFTER_MS]: a window of ours; its id in $host.
host_window() {
  local w=${1%x*} h=${1#*x}
  coproc HOST { exec "$PROBE" window "$w" "$h" ${2:+--destroy-after "$2"}; }
  pids+=($HOST_PID)
  read -r host <&"${HOST[0]}"
  log "our window $host, $1"
}

# input_ignored PID [WINDOW]: key presses and pointer motion over the window
# leave the show running (the daemon decides when it ends).
input_ignored() {
  local on=()
  [[ -n "${2:-}" ]] && on=(--window "$2")
  xdotool mousemove "${on[@]}" 50 50 mousemove "${on[@]}" 300 200 key space a Escape click 1
  check "input does not end the show" still_running "$1" 1
}

case_root() {
  start_x
  trace show "$SCREEN" 160
  start_miruton root --root --verbose
  sleep 0.5
  told root "frames through MIT-SHM"
  told root "monitors from RandR: $SCREEN+0+0"
  frames_match "root window" root show 14 450 "$root_started"
  input_ignored "$root_pid"
  # CPU time over 20 s of the running show, after its start.
  local a b
  a=$(cpu_ticks "$root_pid")
  sleep 20
  b=$(cpu_ticks "$root_pid")
  local tenths=$(((b - a) * 1000 / ($(getconf CLK_TCK) * 20)))
  ok "CPU time over 20 s: $((b - a)) ticks of $(getconf CLK_TCK) Hz, $((tenths / 10)).$((tenths % 10))% of a core"
  check "below 10% of a core" test "$tenths" -lt 100
  ends_on_signal root TERM
}

case_window_id() {
  if [[ $1 == decimal ]]; then
    # A server without MIT-SHM and RandR: plain image requests, and the
    # window for the one monitor.
    start_x "$SCREEN" 24 -extension MIT-SHM -extension RANDR
  else
    start_x
  fi
  trace show 800x600 100
  host_window 800x600
  local id=$host
  [[ $1 == decimal ]] && id=$((host))
  start_miruton given "$2" "$id" -verbose
  sleep 0.5
  if [[ $1 == decimal ]]; then
    told given "frames in XPutImage requests (no MIT-SHM)"
    told given "monitors from neither RandR nor Xinerama"
  fi
  frames_match "$2 $id" "$host" show 10 400 "$given_started"
  input_ignored "$given_pid" "$host"
  ends_on_signal given INT
}

case_daemon_window() {
  start_x
  trace show 800x600 100
  host_window 800x600
  local id=$host
  [[ $1 == decimal ]] && id=$((host))
  # XScreenSaver passes --root, xsecurelock nothing.
  local arguments=(--root)
  [[ $1 == decimal ]] && arguments=()
  XSCREENSAVER_WINDOW=$id start_miruton given "${arguments[@]}"
  sleep 0.5
  frames_match "XSCREENSAVER_WINDOW=$id ${arguments[*]}" "$host" show 8 400 "$given_started"
  ends_on_signal given TERM
}

case_own_window() {
  start_x
  trace show 640x480 80
  trace resized 720x540 80
  start_miruton own --verbose
  local id
  id=$(xdotool search --sync --onlyvisible --class '^miruton$' 2>/dev/null | head -1)
  [[ -n "$id" ]] || { fail "no window of class miruton"; return; }
  expect_eq "its size" "640x480" "$(xwininfo -id "$id" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}')"
  expect_eq "its title" 'WM_NAME(STRING) = "Miruton"' "$(xprop -id "$id" WM_NAME)"
  expect_eq "its class" 'WM_CLASS(STRING) = "miruton", "miruton"' "$(xprop -id "$id" WM_CLASS)"
  check "it takes the window manager's close request" \
    sh -c "xprop -id $id WM_PROTOCOLS | grep -q WM_DELETE_WINDOW"
  sleep 0.3
  frames_match "own window" "$id" show 6 400 "$own_started"
  # A new size starts the show again, for that size.
  local resized
  resized=$(now_ms)
  xdotool windowsize "$id" 720 540
  sleep 0.4
  frames_match "own window resized to 720x540" "$id" resized 6 400 "$resized"
  # ... with the pictures it decoded at its start.
  told own "the show starts again for 720x540; pictures decoded: 10$"
  "$PROBE" delete-window "$id"
  if ends_within "$own_pid" 3; then expect_eq "closing it ends the show with status" 0 "$status"
  else fail "the close request did not end it"; fi

  start_miruton keyed
  id=$(xdotool search --sync --onlyvisible --class '^miruton$' 2>/dev/null | head -1)
  xdotool mousemove --window "$id" 100 100 key x
  if ends_within "$keyed_pid" 3; then expect_eq "a key ends the show with status" 0 "$status"
  else fail "a key did not end it"; fi
}

case_fullscreen() {
  start_x
  trace show "$SCREEN" 80
  start_miruton full --fullscreen
  local id
  id=$(xdotool search --sync --onlyvisible --class '^miruton$' 2>/dev/null | head -1)
  [[ -n "$id" ]] || { fail "no window of class miruton"; return; }
  expect_eq "it covers the screen" "0,0 $SCREEN" \
    "$(xwininfo -id "$id" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
       /Width:/{w=$2} /Height:/{h=$2} END{print x "," y " " w "x" h}')"
  xdotool mousemove 500 400
  check "the pointer is hidden over it" "$PROBE" cursor-hidden
  frames_match "full screen" "$id" show 4 400 "$full_started"
  xdotool key q
  if ends_within "$full_pid" 3; then expect_eq "a key ends it with status" 0 "$status"
  else fail "a key did not end it"; fi
}

case_destroyed_window() {
  start_x
  host_window 800x600 2000
  start_miruton given --window-id "$host"
  check "it runs in the window until then" still_running "$given_pid" 1
  if ends_within "$given_pid" 3; then
    expect_eq "the window's destruction ends it with status" 0 "$status"
  else
    fail "it kept running after its window was destroyed"
  fi
  quiet given
  start_miruton missing --window-id 0x7fffff
  if ends_within "$missing_pid" 3; then
    expect_eq "a window that does not exist: status" 1 "$status"
    check "and a message that says so" grep -q "there is no window 0x7fffff" "$WORK/missing.err"
  else
    fail "it did not refuse a window that does not exist"
  fi
}

case_monitors() {
  start_x 1600x800
  command -v Xephyr >/dev/null || { log "SKIP: no Xephyr"; exit 77; }
  start_xephyr 640x600 800x600
  expect_eq "Xinerama's screens" 2 "$(xdpyinfo -ext XINERAMA | grep -c 'head #')"
  # The root covers both: the first picture centred on the first (primary)
  # monitor, the text in its corner, each next picture inside one monitor.
  # (Of equal height: Xinerama's root has no pixels where no screen is.)
  trace show - 160 --monitors 640x600+0+0,800x600+640+0
  start_miruton root --root
  sleep 0.5
  frames_match "two monitors" root show 16 500 "$root_started"
  ends_on_signal root TERM
}

case_scale() {
  # A screen of the size such a resolution comes with: at 1024x768 the first
  # picture, twice its size and centred, would reach under the text line.
  local screen=2048x1536
  start_x "$screen"
  echo "Xft.dpi: 192" | xrdb -nocpp -merge
  trace double "$screen" 80 --scale 2
  start_miruton dpi --root
  sleep 0.5
  frames_match "Xft.dpi 192: twice the size" root double 5 400 "$dpi_started" 2
  ends_on_signal dpi TERM
  trace single "$screen" 80 --scale 1
  start_miruton option --root --scale 1
  sleep 0.5
  frames_match "--scale 1 over Xft.dpi 192" root single 4 400 "$option_started"
  ends_on_signal option TERM
}

case_visuals() {
  # 10 bits a channel: other masks, exactly the frames still.
  start_x "$SCREEN" 30
  trace show "$SCREEN" 80
  start_miruton deep --root --verbose
  sleep 0.5
  told deep "depth 30, 32 bits a pixel, masks 3ff00000 0ffc00 0003ff"
  frames_match "depth 30" root show 4 400 "$deep_started"
  ends_on_signal deep TERM
  kill "$xvfb" && wait "$xvfb" 2>/dev/null
  # 5-6-5: drawn, though not to the byte.
  start_x "$SCREEN" 16
  start_miruton shallow --root --verbose
  check "depth 16 runs" still_running "$shallow_pid" 1
  told shallow "depth 16, 16 bits a pixel, masks 00f800 0007e0 00001f"
  ends_on_signal shallow TERM
  kill "$xvfb" && wait "$xvfb" 2>/dev/null
  # A colour map: refused, with a message that says why.
  start_x "$SCREEN" 8
  start_miruton mapped --root
  if ends_within "$mapped_pid" 5; then
    expect_eq "a PseudoColor screen: status" 1 "$status"
    check "and a message that says why" grep -q "only TrueColor visuals are supported" "$WORK/mapped.err"
    sed 's/^/    /' "$WORK/mapped.err"
  else
    fail "it did not refuse a PseudoColor screen"
  fi
}

# The real daemon: Debian's XScreenSaver, run as an ordinary user (it launches
# no hacks as root), with a ~/.xscreensaver that names the installed miruton.
SAVER_USER=miruton-test
as_user() { runuser -u "$SAVER_USER" -- env -i HOME="$WORK/home" DISPLAY="$DISPLAY" PATH=/usr/bin:/bin "$@"; }

case_xscreensaver() {
  command -v xscreensaver >/dev/null || { log "SKIP: no xscreensaver"; exit 77; }
  [[ $(id -u) -eq 0 ]] || { log "SKIP: making the daemon's user needs root"; exit 77; }
  id -u "$SAVER_USER" >/dev/null 2>&1 ||
    useradd --system --no-create-home --shell /usr/sbin/nologin "$SAVER_USER" 2>/dev/null ||
    id -u "$SAVER_USER" >/dev/null || { fail "cannot make the user $SAVER_USER"; return; }
  "$CMAKE" --install "$BUILD" --prefix "$WORK/prefix" >"$WORK/install.log" ||
    { fail "cmake --install"; return; }
  local hack=$WORK/prefix/libexec/xscreensaver/miruton
  check "installed as libexec/xscreensaver/miruton" test -x "$hack"
  check "with its settings file" python3 -c '
import sys, xml.etree.ElementTree as tree
root = tree.parse(sys.argv[1]).getroot()
assert (root.tag, root.get("name"), root.get("_label")) == ("screensaver", "miruton", "Miruton")
assert root.find("command").get("arg") == "--root" and root.findtext("_description").strip()
' "$WORK/prefix/share/xscreensaver/config/miruton.xml"

  chmod 755 "$WORK"
  mkdir "$WORK/home"
  cat >"$WORK/home/.xscreensaver" <<EOX
mode:		one
selected:	0
lock:		False
fade:		False
unfade:		False
splash:		False
dpmsEnabled:	False
grabDesktopImages: False
timeout:	1:00:00
programs:	$hack --root	\n
EOX
  chown -R "$SAVER_USER" "$WORK/home"

  start_x
  trace show "$SCREEN" 100
  xhost "+SI:localuser:$SAVER_USER" >/dev/null
  as_user xscreensaver -no-splash -verbose >"$WORK/daemon.log" 2>&1 &
  local daemon=$!
  pids+=($daemon)
  local up=""
  for _ in $(seq 50); do as_user xscreensaver-command -time >/dev/null 2>&1 && { up=1; break; }; sleep 0.2; done
  [[ -n "$up" ]] || { fail "the daemon did not start"; sed 's/^/    /' "$WORK/daemon.log"; return; }
  as_user xscreensaver-command -activate >/dev/null
  local pid="" started
  for _ in $(seq 200); do
    # By its whole command line: this run's program, not an ended one of an
    # earlier run that nobody has reaped yet.
    pid=$(pgrep -u "$SAVER_USER" -f "^$hack --root" | head -1) && [[ -n "$pid" ]] && break
    sleep 0.05
  done
  started=$(now_ms)
  if [[ -z "$pid" ]]; then
    fail "the daemon did not run miruton"
  else
    ok "the daemon runs: $(tr '\0' ' ' <"/proc/$pid/cmdline")"
    local window
    window=$(tr '\0' '\n' <"/proc/$pid/environ" | sed -n 's/^XSCREENSAVER_WINDOW=//p')
    check "in its window, XSCREENSAVER_WINDOW=$window" test -n "$window"
    sleep 0.5
    frames_match "under XScreenSaver" root show 8 400 "$started"
    as_user xscreensaver-command -deactivate >/dev/null
    check "deactivating the daemon ends miruton" ends_within "$pid" 3
  fi
  log "what the daemon logged about it:"
  grep -E "miruton|blanking|killing" "$WORK/daemon.log" | sed 's/^/    /'
  check "miruton wrote nothing to the daemon's log" \
    sh -c "! grep -q '^miruton:' '$WORK/daemon.log'"
  as_user xscreensaver-command -exit >/dev/null 2>&1
  ends_within "$daemon" 5 || kill "$daemon"
}

case "$CASE" in
  root) case_root ;;
  window-id-hex) case_window_id hex -window-id ;;
  window-id-decimal) case_window_id decimal --window-id ;;
  xscreensaver-window) case_daemon_window hex ;;
  xsecurelock-window) case_daemon_window decimal ;;
  own-window) case_own_window ;;
  fullscreen) case_fullscreen ;;
  destroyed-window) case_destroyed_window ;;
  xscreensaver) case_xscreensaver ;;
  monitors) case_monitors ;;
  scale) case_scale ;;
  visuals) case_visuals ;;
  *) log "unknown case $CASE"; exit 2 ;;
esac
log "$CASE: $checks checks, $failures failed"
((failures == 0 && checks > 0))
