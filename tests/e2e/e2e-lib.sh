# Helpers of the end-to-end tests, sourced by run-e2e.sh.
#
# Each test gets its own X server, its own Wine prefix and its own folder with
# the saver and the helper programs in it; cleanup() removes all three and every
# process started here, whether the test passed or not.

# Debian's wine64 package keeps its programs in /usr/lib/wine; the wine
# package adds the wrappers in /usr/bin.
WINE64=$(command -v wine64 || echo /usr/lib/wine/wine64)
WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)
CONVERT=/usr/bin/convert
IMPORT=/usr/bin/import
COMPARE=/usr/bin/compare
# Debian's Python, with the packages that scripts/install-dependencies installs.
PYTHON=/usr/bin/python3

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

SCREEN_W=1024
SCREEN_H=768

bg_pids=()
xvfb_pid=""
xephyr_pid=""
WORK=""

source "$(dirname "${BASH_SOURCE[0]}")/../lib/checks.sh"

# Float comparison: fcmp A OP B, OP one of < <= > >=.
fcmp() { awk -v a="$1" -v b="$3" "BEGIN { exit !(a $2 b) }"; }

cleanup() {
  local status=$?
  trap - EXIT INT TERM
  set +e
  if [[ -n "$WORK" && -d "$WORK/prefix" ]]; then
    WINEPREFIX="$WORK/prefix" "$WINESERVER" -k >/dev/null 2>&1
    WINEPREFIX="$WORK/prefix" timeout 10 "$WINESERVER" -w >/dev/null 2>&1
  fi
  for pid in "${bg_pids[@]}"; do
    kill "$pid" 2>/dev/null
  done
  for pid in "${bg_pids[@]}"; do
    wait "$pid" 2>/dev/null
  done
  if [[ -n "$xephyr_pid" ]]; then
    kill "$xephyr_pid" 2>/dev/null
    wait "$xephyr_pid" 2>/dev/null
  fi
  if [[ -n "$xvfb_pid" ]]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  # What the programs and tools wrote, kept beside the screenshots of a
  # failed test.
  if ((status != 0)) && [[ -n "$WORK" && -n "${SHOTS:-}" && -n "${CASE:-}" ]]; then
    mkdir -p "$SHOTS/$CASE-logs"
    cp "$WORK"/*.log "$WORK"/*.err "$WORK"/*.out "$SHOTS/$CASE-logs/" 2>/dev/null
  fi
  [[ -n "$WORK" ]] && rm -rf "$WORK"
  exit "$status"
}

on_signal() {
  log "FAIL: interrupted (time limit?)"
  exit 124
}

# start_x: a private X server on a display it picks itself.
start_x() {
  local fd_file="$WORK/display"
  Xvfb -displayfd 3 -screen 0 "${SCREEN_W}x${SCREEN_H}x24" -nolisten tcp \
    3>"$fd_file" >"$WORK/xvfb.log" 2>&1 &
  xvfb_pid=$!
  local i
  for ((i = 0; i < 100; i++)); do
    [[ -s "$fd_file" ]] && break
    sleep 0.1
  done
  [[ -s "$fd_file" ]] || { log "FAIL: Xvfb did not start"; cat "$WORK/xvfb.log"; exit 1; }
  export DISPLAY=":$(head -1 "$fd_file")"
  for ((i = 0; i < 50; i++)); do
    xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
  done
  log "X server on $DISPLAY"
}

# start_xephyr [-origin X,Y] -screen WxH ...: several monitors, as one Xephyr
# server inside the test's X server with a screen per -screen (side by side,
# or where -origin puts the next one), Xinerama on and RandR off (Wine takes
# its monitors from RandR whenever RandR is there, and plain Xvfb puts every
# Xinerama screen at 0,0). The first screen is Wine's primary monitor.
# DISPLAY moves to it.
start_xephyr() {
  local fd_file="$WORK/xephyr-display"
  Xephyr -displayfd 3 "$@" +xinerama -extension RANDR -nolisten tcp \
    3>"$fd_file" >"$WORK/xephyr.log" 2>&1 &
  xephyr_pid=$!
  local i
  for ((i = 0; i < 100; i++)); do
    [[ -s "$fd_file" ]] && break
    sleep 0.1
  done
  [[ -s "$fd_file" ]] || { log "FAIL: Xephyr did not start"; cat "$WORK/xephyr.log"; exit 1; }
  export DISPLAY=":$(head -1 "$fd_file")"
  for ((i = 0; i < 50; i++)); do
    xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
  done
  log "Xephyr on $DISPLAY: $(xdpyinfo -ext XINERAMA | grep -c 'head #') Xinerama screens"
}

# restart_wineserver: settings that Wine reads once per session (the
# resolution) take effect.
restart_wineserver() {
  "$WINESERVER" -k 2>/dev/null || true
  "$WINESERVER" -w
}

# wine PROGRAM ARGS...: Wine as on a Japanese system (or in the locale
# WINE_LANG names). The saver is an ANSI program: with code page 932 its
# dialog keeps its Japanese texts.
wine() {
  env LANG="${WINE_LANG:-ja_JP.UTF-8}" LC_ALL="${WINE_LANG:-ja_JP.UTF-8}" "$WINE64" "$@"
}

# wine_t SECONDS PROGRAM ARGS...: the same, bounded in time.
wine_t() {
  timeout "$1" env LANG="${WINE_LANG:-ja_JP.UTF-8}" LC_ALL="${WINE_LANG:-ja_JP.UTF-8}" "$WINE64" "${@:2}"
}

# configure_prefix: what a Japanese desktop has that a new prefix lacks: the
# dialog font ("ＭＳ Ｐゴシック", here IPA's), and window frames drawn by Wine
# itself, since no window manager runs on the test X server.
configure_prefix() {
  local reg="$WINEPREFIX/e2e-setup.reg"
  printf '%s\r\n' \
    'Windows Registry Editor Version 5.00' '' \
    '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]' \
    '"ＭＳ Ｐゴシック"="IPAPGothic"' \
    '"ＭＳ ゴシック"="IPAGothic"' '' \
    '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' \
    '"Managed"="N"' '' |
    iconv -f UTF-8 -t UTF-16 >"$reg"
  wine_t 60 regedit /S "$(winepath_of "$reg")" >/dev/null 2>&1
  "$WINESERVER" -w
  rm -f "$reg"
}

winepath_of() { echo "Z:${1//\//\\}"; }

# make_prefix [TEMPLATE]: a copy of the prepared prefix, or a new one.
make_prefix() {
  export WINEPREFIX="$WORK/prefix"
  if [[ -n "${1:-}" && -f "$1/system.reg" ]]; then
    cp -a "$1" "$WINEPREFIX"
  else
    wine_t 120 wineboot -i >"$WORK/wineboot.log" 2>&1 ||
      { log "FAIL: wineboot"; cat "$WORK/wineboot.log"; exit 1; }
    configure_prefix
  fi
  WINEPREFIX="$WINEPREFIX" "$WINESERVER" -w
}

# reg_add ARGS...: `reg add` inside the test prefix.
reg_add() {
  wine_t 60 reg add "$@" /f >>"$WORK/reg.log" 2>&1 ||
    { log "FAIL: reg add $*"; cat "$WORK/reg.log"; exit 1; }
}

# Makes GetVersionExA report the Windows 9x platform.
use_windows_98() {
  reg_add 'HKCU\Software\Wine' /v Version /t REG_SZ /d win98
}

# start_app TAG PROGRAM ARGS...: runs PROGRAM from the test folder in the
# background; its exit code lands in $WORK/TAG.rc.
start_app() {
  local tag=$1
  shift
  rm -f "$WORK/$tag.rc"
  (
    set +e
    cd "$APP" || exit 1
    wine "$@" >"$WORK/$tag.out" 2>"$WORK/$tag.err"
    echo $? >"$WORK/$tag.rc.part"
    mv "$WORK/$tag.rc.part" "$WORK/$tag.rc"
  ) </dev/null >/dev/null 2>&1 &
  bg_pids+=($!)
  log "started $tag: $*"
}

# run_app TAG SECONDS PROGRAM ARGS...: runs PROGRAM and waits; prints its exit
# code ("timeout" if it did not end in time).
run_app() {
  local tag=$1 seconds=$2
  shift 2
  start_app "$tag" "$@" >/dev/null
  wait_exit "$tag" "$seconds"
}

# wait_exit TAG SECONDS: prints the exit code of TAG once it has ended, or
# "timeout".
wait_exit() {
  local tag=$1 deadline=$((SECONDS + $2))
  while ((SECONDS < deadline)); do
    if [[ -f "$WORK/$tag.rc" ]]; then
      cat "$WORK/$tag.rc"
      return 0
    fi
    sleep 0.1
  done
  echo timeout
}

# running TAG: the program started as TAG has not ended.
running() { [[ ! -f "$WORK/$1.rc" ]]; }

# still_running_after TAG SECONDS: TAG is still running SECONDS from now.
still_running_after() {
  local tag=$1 deadline=$((SECONDS + $2))
  while ((SECONDS < deadline)); do
    running "$tag" || return 1
    sleep 0.1
  done
  running "$tag"
}

# X windows are looked up by a PATTERN, "name:REGEX" (the X window name) or
# "class:REGEX" (the X class, which Wine sets to the program's file name).
# xdotool matches the Latin-1 WM_NAME only, where Wine writes '?' for every
# Japanese character: Japanese titles are checked with window-probe.exe.
x_search() { xdotool search --onlyvisible "--${1%%:*}" "${1#*:}" 2>/dev/null; }

# stays_up TAG SECONDS [PATTERN]: TAG keeps running, and its window stays on
# screen, for SECONDS. (Wine takes a moment to end a process whose window has
# gone: the window is the quicker witness.)
stays_up() {
  local tag=$1 deadline=$((SECONDS + $2)) pattern=${3:-}
  while ((SECONDS < deadline)); do
    running "$tag" || return 1
    if [[ -n "$pattern" ]] && ! x_search "$pattern" >/dev/null; then
      return 1
    fi
    sleep 0.1
  done
  running "$tag"
}

# wait_window_of TAG PATTERN SECONDS: prints the X id of the first window that
# matches, waiting for the program started as TAG to show it; gives up early
# once that program has ended.
wait_window_of() {
  local tag=$1 deadline=$((SECONDS + $3)) ids
  while ((SECONDS < deadline)); do
    ids=$(x_search "$2") && [[ -n "$ids" ]] && {
      head -1 <<<"$ids"
      return 0
    }
    running "$tag" || return 1
    sleep 0.1
  done
  return 1
}

# no_window_found TAG WHAT: fails the test where the window of TAG did not
# appear, with what the logs need to tell why: whether the program still
# runs (or its exit code), where the pointer was, which windows Wine holds.
no_window_found() {
  local tag=$1
  log "FAIL: $2"
  if running "$tag"; then
    log "$tag is still running"
  else
    log "$tag ended with exit code $(cat "$WORK/$tag.rc") before its window appeared"
  fi
  log "pointer: $(xdotool getmouselocation 2>&1)"
  log "windows: $(probe 2>&1 | tr '\n' ';')"
  cat "$WORK/$tag.err"
  exit 1
}

# x_window_gone PATTERN SECONDS
x_window_gone() {
  local deadline=$((SECONDS + $2))
  while ((SECONDS < deadline)); do
    x_search "$1" >/dev/null || return 0
    sleep 0.1
  done
  return 1
}

# probe: the window list of the Wine session (window-probe.exe), on stdout.
probe() {
  (cd "$APP" && wine_t 30 ./window-probe.exe 2>/dev/null)
}

# shot NAME: a screenshot of the whole screen, kept in the screenshot folder;
# prints its path.
shot() {
  local file="$SHOTS/$CASE-$1.png"
  "$IMPORT" -window root "$file" 2>/dev/null
  echo "$file"
}

# shot_series COUNT SECONDS: COUNT screenshots (frame00, frame01, ...), SECONDS
# apart; prints their files, one a line.
shot_series() {
  local i
  for ((i = 0; i < $1; i++)); do
    shot "$(printf 'frame%02d' "$i")"
    sleep "$2"
  done
}

# nonblack FILE GEOMETRY: the fraction of pixels in the area that are not black.
nonblack() {
  "$CONVERT" "$1" -crop "$2" +repage -colorspace Gray -threshold 3% -format '%[fx:mean]' info:
}

# mean_level FILE GEOMETRY: the mean grey level of the area, 0 to 1.
mean_level() {
  "$CONVERT" "$1" -crop "$2" +repage -colorspace Gray -format '%[fx:mean]' info:
}

# rmse FILE GEOMETRY REFERENCE [REFERENCE_GEOMETRY]: the normalised RMS
# difference between the area of FILE and the reference picture (or an area
# of it), 0 = identical.
rmse() {
  local ref_crop=()
  [[ -n "${4:-}" ]] && ref_crop=(-crop "$4" +repage)
  "$CONVERT" "$1" -crop "$2" +repage "$WORK/area.png"
  "$CONVERT" "$3" "${ref_crop[@]}" "$WORK/reference.png"
  local out
  out=$("$COMPARE" -metric RMSE "$WORK/area.png" "$WORK/reference.png" null: 2>&1 || true)
  out=$(sed -n 's/.*(\([0-9.e+-]*\)).*/\1/p' <<<"$out")
  echo "${out:-1}"
}

# text_pixels FILE GEOMETRY: how many pixels of the area have the colour of the
# web address line, green 128 and blue 255 (red follows the animation).
text_pixels() {
  "$CONVERT" "$1" -crop "$2" +repage -depth 8 txt:- |
    awk -F'[(),]' 'NR > 1 && $4 + 0 == 128 && $5 + 0 == 255 { n++ } END { print n + 0 }'
}

# Puts the pointer at a known place before a saver starts.
pointer_to() { xdotool mousemove --sync "$1" "$2" 2>/dev/null || xdotool mousemove "$1" "$2"; }

# The window of an about box: give it the keyboard focus.
focus_x_window() {
  xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"
  sleep 0.3
}

# setup CASE SAVER TOOLS SHOTS TEMPLATE: the X server, the prefix and the test
# folder with the saver and the helpers.
setup() {
  WORK=$(mktemp -d "${TMPDIR:-/tmp}/miruton-e2e.XXXXXX")
  trap cleanup EXIT
  trap on_signal INT TERM
  APP="$WORK/app"
  mkdir -p "$APP" "$SHOTS"
  cp "$SAVER" "$APP/miruton.scr"
  cp "$TOOLS/preview-parent.exe" "$TOOLS/window-probe.exe" "$TOOLS/power-broadcast.exe" "$APP/"
  start_x
  make_prefix "$TEMPLATE"
}

# finish: the test's verdict.
finish() {
  if ((checks == 0)); then
    log "FAIL: no check ran"
    exit 1
  fi
  log "$CASE: $((checks - failures)) of $checks checks passed"
  ((failures == 0))
}
