#!/usr/bin/env bash
# End-to-end tests of miruton.scr under Wine on a private X server.
#
#   run-e2e.sh CASE SAVER TOOLS PICTURES SHOTS [PREFIX_TEMPLATE]
#   run-e2e.sh --prepare-prefix DIR
#   run-e2e.sh --remove-prefix DIR
#
# SAVER is miruton.scr; TOOLS the folder with preview-parent.exe,
# window-probe.exe, power-broadcast.exe, PASSWORD.CPL and MPR.DLL; PICTURES
# the folder of the pictures the saver embeds (resources/pictures); SHOTS
# where screenshots go.
# PREFIX_TEMPLATE, when given and prepared, is copied instead of booting a new
# Wine prefix. The whole test is bounded by E2E_TIME_LIMIT seconds (110).
# E2E_SHOW_TRACE names a native tessera-show-trace (two-monitors needs it).
# The installer cases take the installer from E2E_SETUP and the version it
# should carry from E2E_VERSION ("0.03") and E2E_VERSION_NUMBERS ("0.3.0.0").
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

if [[ "${1:-}" == --prepare-prefix ]]; then
  source "$here/e2e-lib.sh"
  rm -rf "$2"
  mkdir -p "$(dirname "$2")"
  export WINEPREFIX=$2
  wine_t 120 wineboot -i >/dev/null 2>&1
  "$WINESERVER" -w
  [[ -f "$2/system.reg" ]] || { echo "wineboot made no prefix in $2"; exit 1; }
  configure_prefix
  echo "Wine prefix prepared in $2"
  exit 0
fi
if [[ "${1:-}" == --remove-prefix ]]; then
  rm -rf "$2"
  echo "removed $2"
  exit 0
fi

if [[ -z "${E2E_INNER:-}" ]]; then
  # The time limit sends TERM first, so that cleanup still runs.
  E2E_INNER=1 exec timeout -k 15 "${E2E_TIME_LIMIT:-110}" bash "${BASH_SOURCE[0]}" "$@"
fi

(($# >= 5)) || { sed -n '2,16p' "${BASH_SOURCE[0]}"; exit 2; }
CASE=$1
SAVER=$(realpath "$2")
TOOLS=$(realpath "$3")
PICTURES=$(realpath "$4")
SHOTS=$(realpath -m "$5")
TEMPLATE=${6:-}

source "$here/e2e-lib.sh"

# The exit code wine64 reports for a program that ended with -1.
readonly MINUS_ONE=255
readonly SAVER_NAME='name:^Screen Saver$'
readonly ABOUT_TITLE='みるとんスクリーンセーバー'
# The about box is the saver's only window on screen in that mode.
readonly ABOUT_WINDOW='class:^miruton\.scr$'

# The full-screen picture, 256 x 336, centred.
readonly PIC_W=256 PIC_H=336
readonly PIC_X=$(((SCREEN_W - PIC_W) / 2)) PIC_Y=$(((SCREEN_H - PIC_H) / 2))
readonly PIC_AREA="${PIC_W}x${PIC_H}+${PIC_X}+${PIC_Y}"
# The web address line at (width - 250, height - 32).
readonly TEXT_AREA="250x32+$((SCREEN_W - 250))+$((SCREEN_H - 32))"

# start_saver TAG ARGS...: starts the saver and waits for its full-screen
# window; sets XID to the window's X id.
start_saver() {
  local tag=$1
  shift
  start_app "$tag" ./miruton.scr "$@"
  # Wine's first start at another DPI may take its time (seen over 30 s once).
  XID=$(wait_window_of "$tag" "$SAVER_NAME" 90) || no_window_found "$tag" "no full-screen window appeared"
}

# saver_line: the window-probe line of the full-screen saver window.
saver_line() { probe | grep -F 'class=<WindowsScreenSaverClass> title=<Screen Saver>' || true; }

# field LINE NAME: the value of NAME=... in a window-probe line.
field() { sed -n "s/.* $2=\([^ ]*\).*/\1/p" <<<" $1"; }

has_bits() { (((16#$1 & $2) == $2)); }

# start_parent TAG: a preview-parent.exe; sets PARENT_HWND and PARENT_AREA
# (its client area as a crop geometry).
start_parent() {
  rm -f "$APP/$1.txt" "$APP/quit"
  start_app "$1" ./preview-parent.exe "$1.txt" 80
  local i
  for ((i = 0; i < 200; i++)); do
    [[ -s "$APP/$1.txt" ]] && break
    sleep 0.1
  done
  [[ -s "$APP/$1.txt" ]] || { log "FAIL: preview-parent.exe wrote no handle"; cat "$WORK/$1.err"; exit 1; }
  PARENT_HWND=$(sed -n 1p "$APP/$1.txt" | tr -d '\r')
  local x y w h
  read -r x y w h < <(sed -n 2p "$APP/$1.txt" | tr -d '\r')
  PARENT_AREA="${w}x${h}+${x}+${y}"
  log "preview parent: window $PARENT_HWND, client area $PARENT_AREA"
}

stop_parent() {
  touch "$APP/quit"
  expect_eq "preview-parent.exe ends" 0 "$(wait_exit "$1" 20)"
}

# --- the cases -------------------------------------------------------------

# /s: the window, the opening picture, the web address; a key ends it.
case_fullscreen() {
  pointer_to 100 100
  start_saver saver /s
  local start=$SECONDS

  # Screenshots through the first picture's opening and hold (about 3 s).
  local -a shots
  mapfile -t shots < <(shot_series 16 0.15)
  local i

  local line
  line=$(saver_line)
  log "saver window: $line"
  check "one window of class WindowsScreenSaverClass titled 'Screen Saver'" test "$(grep -c . <<<"$line")" -eq 1
  check "it is topmost (WS_EX_TOPMOST)" has_bits "$(field "$line" exstyle)" 0x8
  check "it is a visible pop-up (WS_POPUP | WS_VISIBLE)" has_bits "$(field "$line" style)" 0x90000000
  expect_eq "it covers the screen" "0,0,$SCREEN_W,$SCREEN_H" "$(field "$line" rect)"

  # The best match with the first picture, and how the frames led up to it.
  local best="" best_rmse=1 best_index=-1 r
  local -a covered=()
  for i in "${!shots[@]}"; do
    covered[i]=$(nonblack "${shots[i]}" "$PIC_AREA")
    r=$(rmse "${shots[i]}" "$PIC_AREA" "$PICTURES/jpeg1.jpg")
    log "frame $i: picture area ${covered[i]} non-black, difference from the first picture $r"
    if fcmp "$r" '<' "$best_rmse"; then
      best_rmse=$r best=${shots[i]} best_index=$i
    fi
  done
  check "the centred 256x336 area shows the first picture (difference $best_rmse)" fcmp "$best_rmse" '<' 0.08
  local partial=0
  for ((i = 0; i < best_index; i++)); do
    if fcmp "${covered[i]}" '<' "$(awk -v c="${covered[best_index]}" 'BEGIN { print c * 0.85 }')"; then
      partial=1
    fi
  done
  check "the picture opened over several frames (a frame before the full picture showed less of it)" test "$partial" -eq 1
  if [[ -n "$best" ]]; then
    cp "$best" "$SHOTS/fullscreen.png"
    check "the screen left of the picture is black" fcmp "$(nonblack "$best" "${PIC_X}x700+0+0")" '==' 0
    check "the screen right of the picture is black above the text line" \
      fcmp "$(nonblack "$best" "$((SCREEN_W - PIC_X - PIC_W))x$((SCREEN_H - 40))+$((PIC_X + PIC_W))+0")" '==' 0
    local text
    text=$(text_pixels "$best" "$TEXT_AREA")
    check "the web address line is drawn at the lower right ($text pixels of its colour)" test "$text" -gt 40
  fi
  log "shots taken over $((SECONDS - start)) s"

  check "the saver is still running without input" running saver
  xdotool key a
  expect_eq "a key ends the saver" 0 "$(wait_exit saver 15)"
  check "the window is gone" x_window_gone "$SAVER_NAME" 5
}

# /s: a mouse click ends it; the pointer resting does not.
case_close_click() {
  pointer_to 200 150
  start_saver saver /s
  check "the saver keeps running while the pointer rests" stays_up saver 3 "$SAVER_NAME"
  xdotool click 1
  expect_eq "a click ends the saver" 0 "$(wait_exit saver 15)"
}

# /s: 2 right and 2 down (4 in total) keep it; one more to the right (5) ends it.
case_mouse_threshold() {
  pointer_to 300 300
  start_saver saver /s
  check "the saver keeps running while the pointer rests" stays_up saver 1 "$SAVER_NAME"
  # Movements count from where the pointer was when the window was made: Wine
  # may have placed it itself while starting, so read it back.
  local x0 y0
  eval "$(xdotool getmouselocation --shell | grep -E '^[XY]=')"
  x0=$X y0=$Y
  log "pointer at ($x0, $y0)"
  xdotool mousemove $((x0 + 2)) $((y0 + 2))
  check "a movement of 4 pixels (2 right, 2 down) leaves it running" stays_up saver 3 "$SAVER_NAME"
  xdotool mousemove $((x0 + 3)) $((y0 + 2))
  expect_eq "a movement of 5 pixels in total (3 right, 2 down) ends it" 0 "$(wait_exit saver 15)"
  # 3 and 2 are each below the threshold: the sum counts.
}

# A second /s finds the first window and leaves at once with 0.
case_second_instance() {
  pointer_to 100 100
  start_saver first /s
  sleep 1
  local before=$SECONDS
  expect_eq "the second /s exits with 0" 0 "$(run_app second 20 ./miruton.scr /s)"
  log "the second /s took about $((SECONDS - before)) s (Wine's process start and exit included)"
  check "the first saver is still running" stays_up first 3 "$SAVER_NAME"
  check "there is still exactly one saver window" test "$(saver_line | grep -c .)" -eq 1
  xdotool key a
  expect_eq "a key ends the first saver" 0 "$(wait_exit first 15)"
}

# /p HANDLE: the picture inside a 152 x 112 window; input never ends it; the
# end of the parent ends it.
case_preview() {
  start_parent parent
  sleep 0.5
  local before
  before=$(shot before)
  check "the parent's client area is white before the preview starts" \
    fcmp "$(mean_level "$before" "$PARENT_AREA")" '>' 0.95

  start_app saver ./miruton.scr /p "$PARENT_HWND"
  sleep 0.5
  local -a shots
  mapfile -t shots < <(shot_series 14 0.15)
  local i
  check "the saver is running" running saver

  local windows line
  windows=$(probe)
  line=$(grep -F 'class=<WindowsScreenSaverClass> title=<Preview>' <<<"$windows" || true)
  log "preview window: $line"
  check "one child window of class WindowsScreenSaverClass titled 'Preview'" test "$(grep -c . <<<"$line")" -eq 1
  expect_eq "its parent is the preview window" "$PARENT_HWND" "$(field "$line" parent)"
  check "it is a visible child (WS_CHILD | WS_VISIBLE)" has_bits "$(field "$line" style)" 0x50000000
  expect_eq "it fills the parent's client area" "152,112" "$(field "$line" client)"
  check "no full-screen window in preview mode" test -z "$(grep -F 'title=<Screen Saver>' <<<"$windows" || true)"

  # The 156 x 116 preview picture drawn at (-2, -2): the client area shows
  # the picture without its outer 2-pixel border. Wine 8 does not put a child
  # window of another process on screen (its drawing goes to a surface that
  # only the parent's process shows): then the parent's white background stays
  # untouched in every frame, and the picture cannot be checked here.
  local best="" best_rmse=1 r untouched=1
  for i in "${!shots[@]}"; do
    fcmp "$(mean_level "${shots[i]}" "$PARENT_AREA")" '>' 0.999 || untouched=0
    r=$(rmse "${shots[i]}" "$PARENT_AREA" "$PICTURES/prev.jpg" 152x112+2+2)
    log "frame $i: difference from the preview picture at (-2,-2) $r"
    if fcmp "$r" '<' "$best_rmse"; then best_rmse=$r best=${shots[i]}; fi
  done
  if ((untouched)); then
    log "note: Wine left the parent's client area white in every frame; the preview picture is not checked"
  else
    check "the client area shows the preview picture at (-2,-2) (difference $best_rmse)" fcmp "$best_rmse" '<' 0.08
    cp "$best" "$SHOTS/preview.png"
    local at_origin
    at_origin=$(rmse "$best" "$PARENT_AREA" "$PICTURES/prev.jpg" 152x112+0+0)
    check "it matches better than the picture at (0,0) ($best_rmse against $at_origin)" \
      fcmp "$best_rmse" '<' "$at_origin"
  fi

  # Input of every kind goes to the preview without ending it.
  local x y
  IFS='x+' read -r _ _ x y <<<"$PARENT_AREA"
  xdotool mousemove $((x + 76)) $((y + 56))
  sleep 0.3
  xdotool mousemove $((x + 120)) $((y + 90))
  xdotool click 1
  xdotool key a
  xdotool key Escape
  check "mouse movement, a click and keys leave the preview running" still_running_after saver 3
  check "the preview window is still there" grep -qF 'class=<WindowsScreenSaverClass> title=<Preview>' <<<"$(probe)"

  stop_parent parent
  expect_eq "the end of the parent window ends the preview" 0 "$(wait_exit saver 15)"
}

# /p with no handle, 0, or a handle of a window that no longer exists.
case_preview_bad_handle() {
  expect_eq "/p without a handle exits with -1" "$MINUS_ONE" "$(run_app none 20 ./miruton.scr /p)"
  expect_eq "/p 0 exits with -1" "$MINUS_ONE" "$(run_app zero 20 ./miruton.scr /p 0)"
  start_parent parent
  stop_parent parent
  expect_eq "/p with the handle of a closed window exits with -1" "$MINUS_ONE" \
    "$(run_app stale 20 ./miruton.scr /p "$PARENT_HWND")"
  check "none of them created a window" test -z "$(probe | grep -F 'WindowsScreenSaverClass' || true)"
}

# The about box: title, button, texts.
check_about_box() {
  local windows=$1 owner=$2 line
  line=$(grep -F "title=<$ABOUT_TITLE>" <<<"$windows" | grep -F 'class=<#32770>' || true)
  log "about box: $line"
  check "a dialog titled '$ABOUT_TITLE'" test "$(grep -c . <<<"$line")" -eq 1
  expect_eq "its owner" "$owner" "$(field "$line" parent)"
  check "a button '確認'" grep -qF 'class=<Button> title=<確認>' <<<"$windows"
  check "the text 'みるとんの旅 スクリーンセーバー' and the version" \
    grep -qF 'class=<Static> title=<みるとんの旅 スクリーンセーバー\nVersion 0.03' <<<"$windows"
  check "a second text in Japanese" \
    test "$(grep -F 'class=<Static> title=<' <<<"$windows" | grep -v 'title=<みるとんの旅' | LC_ALL=C.UTF-8 grep -cP 'title=<.*[\x{3040}-\x{30ff}\x{4e00}-\x{9fff}]')" -ge 1
}

# start_about TAG ARGS...: starts the about box; sets XID to the dialog's X id.
start_about() {
  local tag=$1
  shift
  start_app "$tag" ./miruton.scr "$@"
  XID=$(wait_window_of "$tag" "$ABOUT_WINDOW" 30) || no_window_found "$tag" "no about box appeared"
  sleep 0.5
}

# button_centre WINDOWS: the screen position of the '確認' button's centre.
button_centre() {
  local rect l t r b
  rect=$(field "$(grep -F 'class=<Button> title=<確認>' <<<"$1" | head -1)" rect)
  IFS=, read -r l t r b <<<"$rect"
  echo "$(((l + r) / 2)) $(((t + b) / 2))"
}

# No argument: Escape leaves the box open, Enter closes it with 1.
case_about_enter() {
  start_about about
  check_about_box "$(probe)" 0
  shot about >/dev/null
  cp "$SHOTS/$CASE-about.png" "$SHOTS/about.png"
  focus_x_window "$XID"
  xdotool key Escape
  check "Escape leaves the about box open" stays_up about 3 "$ABOUT_WINDOW"
  xdotool key Return
  expect_eq "Enter closes it with 1" 1 "$(wait_exit about 15)"
}

# /c: the button closes the box with 1.
case_about_button() {
  local windows
  start_about about /c
  windows=$(probe)
  check "the about box has its title and button" grep -qF "title=<$ABOUT_TITLE>" <<<"$windows"
  local x y
  read -r x y < <(button_centre "$windows")
  log "button at ($x, $y)"
  focus_x_window "$XID"
  xdotool key Escape
  check "Escape leaves the about box open" stays_up about 3 "$ABOUT_WINDOW"
  xdotool mousemove "$x" "$y"
  sleep 0.3
  xdotool click 1
  expect_eq "the button closes it with 1" 1 "$(wait_exit about 15)"
}

# /c:HANDLE: the box is owned by that window.
case_about_owner() {
  start_parent parent
  start_about about "/c:$PARENT_HWND"
  check_about_box "$(probe)" "$PARENT_HWND"
  shot owned >/dev/null
  focus_x_window "$XID"
  xdotool key Return
  expect_eq "Enter closes it with 1" 1 "$(wait_exit about 15)"
  stop_parent parent
}

# Switches that do nothing on this system.
case_bad_switch() {
  expect_eq "/a on the NT family exits with -1" "$MINUS_ONE" "$(run_app nt 20 ./miruton.scr /a)"
  expect_eq "/x exits with -1" "$MINUS_ONE" "$(run_app x 20 ./miruton.scr /x)"
  check "no window was created" test -z "$(probe | grep -E 'WindowsScreenSaverClass|#32770' || true)"
}

# Windows 98 with saver passwords: the verifier refuses once, a second request
# right after the refusal is swallowed, the next one is accepted.
case_password() {
  use_windows_98
  reg_add 'HKCU\Control Panel\Desktop' /v ScreenSaveUsePassword /t REG_DWORD /d 1
  cp "$TOOLS/PASSWORD.CPL" "$APP/"
  local log_file="$APP/verify.log"
  pointer_to 100 100
  start_saver saver /s
  sleep 1.5
  local line hwnd
  line=$(saver_line)
  hwnd=$(field "$line" hwnd)

  # Two close requests 30 ms apart: the first asks the verifier, which
  # refuses; the second comes within 200 ms of the end of that check.
  xdotool key --delay 30 a b
  sleep 1.5
  check "the saver keeps running after the refusal" running saver
  expect_eq "the verifier was asked once for the two requests" 1 "$(grep -c . "$log_file" 2>/dev/null || echo 0)"
  expect_eq "it was given the saver window" "$hwnd" "$(awk 'NR == 1 { print $2 }' "$log_file" 2>/dev/null)"
  local after
  after=$(shot refused)
  check "the show goes on after the refusal" fcmp "$(nonblack "$after" "${SCREEN_W}x${SCREEN_H}+0+0")" '>' 0.01
  check "the saver window is still there" test "$(saver_line | grep -c .)" -eq 1

  xdotool key c
  expect_eq "the next request, accepted, ends the saver with 0" 0 "$(wait_exit saver 15)"
  expect_eq "the verifier was asked twice in all" 2 "$(grep -c . "$log_file" 2>/dev/null || echo 0)"
  log "verify.log: $(tr '\n' ';' <"$log_file")"
}

# Windows 98: /a HANDLE hands the password change to MPR.DLL.
case_change_password() {
  use_windows_98
  cp "$TOOLS/MPR.DLL" "$APP/"
  start_parent parent
  local rc
  rc=$(WINEDLLOVERRIDES="$WINEDLLOVERRIDES;mpr=n" run_app change 30 ./miruton.scr /a "$PARENT_HWND")
  expect_eq "/a HANDLE exits with 0" 0 "$rc"
  expect_eq "PwdChangePasswordA got SCRSAVE, the owner, 0, 0" "SCRSAVE $PARENT_HWND 0 0" \
    "$(tr -d '\r' <"$APP/mpr.log" 2>/dev/null | head -1)"
  expect_eq "and was called once" 1 "$(grep -c . "$APP/mpr.log" 2>/dev/null || echo 0)"
  stop_parent parent
}

# Two monitors of different sizes side by side (1824x768 in all, nothing
# below the right one's 600 rows): for about a minute (eleven pictures) every
# picture lies wholly inside one monitor, at the place tessera-show-trace
# predicts for these monitors, and the web address is at the lower right of
# the primary. Among the placements are some that the bounding box alone
# would have put across the seam or below the right monitor.
case_two_monitors() {
  local monitors=1024x768+0+0,800x600+1024+0 trace=${E2E_SHOW_TRACE:-}
  [[ -x "$trace" ]] || { log "FAIL: no tessera-show-trace at '$trace' (build the release preset)"; exit 1; }
  "$trace" --monitors "$monitors" --ticks 700 >"$WORK/trace.txt"
  "$trace" --client 1824x768 --ticks 700 >"$WORK/old-trace.txt"
  start_xephyr -screen 1024x768 -screen 800x600
  pointer_to 100 100
  start_saver saver /s
  local start=$SECONDS
  expect_eq "the window covers both monitors" "0,0,1824,768" "$(field "$(saver_line)" rect)"
  local -a shots=()
  local i=0
  while ((SECONDS - start < 58)); do
    shots+=("$WORK/$(printf 'shot%03d' "$i").png")
    "$IMPORT" -window root "${shots[-1]}" 2>/dev/null
    i=$((i + 1))
    sleep 0.3
  done
  check "the saver ran the whole time" running saver
  xdotool key a
  expect_eq "a key ends the saver" 0 "$(wait_exit saver 15)"
  log "$i screenshots in $((SECONDS - start)) s"

  check "the pictures' places (tests/e2e/placements.py)" \
    "$PYTHON" "$here/placements.py" "$monitors" "$WORK/trace.txt" "$WORK/old-trace.txt" 8 "${shots[@]}"
  local best=0 n
  for ((i = 0; i < ${#shots[@]}; i += 20)); do
    n=$(text_pixels "${shots[i]}" "250x32+774+736")
    ((n > best)) && { best=$n; cp "${shots[i]}" "$SHOTS/two-monitors.png"; }
  done
  check "the web address is at the lower right of the primary ($best pixels of its colour)" \
    test "$best" -gt 40
}

# The primary monitor right of the other, so that the desktop starts at
# x = -800: the window covers both, the first picture is centred on the
# primary and the web address is at the primary's lower right.
case_primary_on_the_right() {
  start_xephyr -origin 800,0 -screen 1024x768 -origin 0,0 -screen 800x600
  pointer_to 1000 100
  start_saver saver /s
  expect_eq "the window covers both monitors from x = -800" "-800,0,1024,768" \
    "$(field "$(saver_line)" rect)"
  local -a shots
  mapfile -t shots < <(shot_series 12 0.2)
  local i
  xdotool key a
  expect_eq "a key ends the saver" 0 "$(wait_exit saver 15)"
  local area="${PIC_W}x${PIC_H}+$((800 + PIC_X))+${PIC_Y}" best="" best_rmse=1 r
  for i in "${!shots[@]}"; do
    r=$(rmse "${shots[i]}" "$area" "$PICTURES/jpeg1.jpg")
    if fcmp "$r" '<' "$best_rmse"; then best_rmse=$r best=${shots[i]}; fi
  done
  check "the first picture is centred on the primary, at $area (difference $best_rmse)" \
    fcmp "$best_rmse" '<' 0.08
  if [[ -n "$best" ]]; then
    cp "$best" "$SHOTS/primary-on-the-right.png"
    check "the left monitor is black" fcmp "$(nonblack "$best" "800x600+0+0")" '==' 0
    check "the web address is at the primary's lower right" \
      test "$(text_pixels "$best" "250x32+$((800 + SCREEN_W - 250))+$((SCREEN_H - 32))")" -gt 40
  fi
}

# Power broadcasts that a laptop receives while nobody touches it keep the
# show; the machine going to sleep ends it.
case_power() {
  pointer_to 100 100
  start_saver saver /s
  sleep 1
  local event name
  for event in 10:battery-status 0x8013:power-setting-change 9:battery-low 11:oem-event; do
    name=${event#*:} event=${event%%:*}
    expect_eq "the saver answers the $name broadcast ($event)" 0 \
      "$(run_app "$name" 20 ./power-broadcast.exe "$event")"
    check "a $name broadcast keeps the show" stays_up saver 2 "$SAVER_NAME"
  done
  expect_eq "the saver answers the suspend broadcast (PBT_APMSUSPEND)" 0 \
    "$(run_app suspend 20 ./power-broadcast.exe 4)"
  expect_eq "the suspend broadcast ends the saver with 0" 0 "$(wait_exit saver 15)"
}

# blocky FILE WIDTH HEIGHT X Y: the area is made of 2x2 blocks of one colour
# each, on a grid that starts at X or X + 1 and at Y or Y + 1 (a picture is
# placed at any pixel; its blocks start at its own corner). The blocks' means,
# enlarged again without smoothing, give the same area.
blocky() {
  local dx dy area
  for dx in 0 1; do
    for dy in 0 1; do
      area="$(($2 - 2))x$(($3 - 2))+$(($4 + dx))+$(($5 + dy))"
      "$CONVERT" "$1" -crop "$area" +repage -scale 50% -sample 200% "$WORK/resampled.png"
      fcmp "$(rmse "$1" "$area" "$WORK/resampled.png")" '==' 0 && return 0
    done
  done
  return 1
}

# 192 dpi: the first picture twice its size, centred, each 2x2 block one
# colour (in every frame, so the masks' cells grow with the pixels too); the
# text twice as tall at twice the offsets.
case_high_dpi() {
  reg_add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 192
  restart_wineserver
  pointer_to 100 100
  start_saver saver /s
  local -a shots
  mapfile -t shots < <(shot_series 16 0.15)
  local i
  expect_eq "the window still covers the screen, in pixels" "0,0,$SCREEN_W,$SCREEN_H" \
    "$(field "$(saver_line)" rect)"
  xdotool key a
  expect_eq "a key ends the saver" 0 "$(wait_exit saver 15)"

  local big_w=$((2 * PIC_W)) big_h=$((2 * PIC_H))
  local big_x=$(((SCREEN_W - big_w) / 2)) big_y=$(((SCREEN_H - big_h) / 2))
  local big_area="${big_w}x${big_h}+${big_x}+${big_y}"
  # On this small screen the text line (drawn after the picture, in a font
  # of its own) covers the picture's last rows: the blocks are checked above it.
  local block_h=$((SCREEN_H - 64 - big_y))
  "$CONVERT" "$PICTURES/jpeg1.jpg" -sample 200% "$WORK/jpeg1-twice.png"
  local best="" best_rmse=1 r blocky=1 shown=0 blocks
  for i in "${!shots[@]}"; do
    r=$(rmse "${shots[i]}" "$big_area" "$WORK/jpeg1-twice.png")
    if fcmp "$(nonblack "${shots[i]}" "$big_area")" '>' 0.05; then
      shown=$((shown + 1))
      blocks="2x2 blocks of one colour"
      blocky "${shots[i]}" "$big_w" "$block_h" "$big_x" "$big_y" || blocks="NOT 2x2 blocks" blocky=0
      log "frame $i: difference from the picture at twice its size $r; $blocks"
    fi
    if fcmp "$r" '<' "$best_rmse"; then best_rmse=$r best=${shots[i]}; fi
  done
  check "the centred ${big_area} area shows the first picture at twice its size (difference $best_rmse)" \
    fcmp "$best_rmse" '<' 0.08
  check "frames showed the picture ($shown) and in each every 2x2 block is one colour" \
    test "$shown" -ge 3 -a "$blocky" -eq 1
  if [[ -n "$best" ]]; then
    cp "$best" "$SHOTS/high-dpi.png"
    check "it is not the picture at its own size ($(rmse "$best" "$PIC_AREA" "$PICTURES/jpeg1.jpg"))" \
      fcmp "$(rmse "$best" "$PIC_AREA" "$PICTURES/jpeg1.jpg")" '>' 0.15
    # The text at (width - 500, height - 64), its letters about 2 x 16 rows tall.
    local rows
    rows=$("$CONVERT" "$best" -crop "500x64+$((SCREEN_W - 500))+$((SCREEN_H - 64))" +repage -depth 8 txt:- |
      awk -F'[(),]' 'NR > 1 && $4 + 0 == 128 && $5 + 0 == 255 { y[$2 + 0] = 1 }
                     END { n = 0; for (k in y) n++; print n }')
    check "the web address is twice as tall ($rows rows of its colour)" test "$rows" -ge 20
    check "it starts at twice the offsets from the corner (where the usual place has none of it)" \
      test "$(text_pixels "$best" "250x32+$((SCREEN_W - 500))+$((SCREEN_H - 64))")" -gt 40
  fi
}

# --- the installer ----------------------------------------------------------

readonly DESKTOP='HKCU\Control Panel\Desktop'
readonly UNINSTALL='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Miruton'
readonly MEMORY='HKCU\Software\Tessera Works\Miruton'
readonly INSTALLED='C:\windows\system32\miruton.scr'
readonly PRODUCT_JA='みるとんの旅 スクリーンセーバー' PRODUCT_EN='Miruton Screen Saver'

# reg_dump KEY: the key's values as `reg query` lists them ("    NAME    TYPE
# DATA"), UTF-8; nothing when the key is absent (reg's exit code 1).
reg_dump() {
  local out rc=0
  out=$(wine_t 30 reg query "$1" 2>/dev/null) || rc=$?
  ((rc != 1)) || return 0
  ((rc == 0)) || { log "FAIL: reg query $1 ended with $rc"; exit 1; }
  iconv -f CP932 -t UTF-8 <<<"$out" | tr -d '\r'
}

# reg_field DUMP NAME: the data of NAME in a dump, or <none>.
reg_field() {
  local line
  line=$(grep -F -m1 "    $2    REG_" <<<"$1" || true)
  [[ -n $line ]] || { echo '<none>'; return; }
  sed 's/^    [^ ]*    REG_[A-Z_]*    \{0,1\}//' <<<"$line"
}

# set_desktop NAME DATA: a value under Control Panel\Desktop; DATA <none> deletes it.
# The value is read back: a round must start from what it says.
set_desktop() {
  # Whatever the last installer or uninstaller started has ended first: a
  # late write of theirs must not undo this one.
  timeout 30 "$WINESERVER" -w || true
  if [[ $2 == '<none>' ]]; then
    wine_t 60 reg delete "$DESKTOP" /v "$1" /f >>"$WORK/reg.log" 2>&1 || true
  else
    reg_add "$DESKTOP" /v "$1" /t REG_SZ /d "$2"
  fi
  local now
  now=$(reg_field "$(reg_dump "$DESKTOP")" "$1")
  [[ $now == "$2" ]] || { log "FAIL: setting $1 to <$2> left <$now>"; cat "$WORK/reg.log"; exit 1; }
}

# unix_path WINDOWS_PATH: the file of a C: path inside the test prefix.
unix_path() { local p=${1#[Cc]:\\}; echo "$WINEPREFIX/drive_c/${p//\\//}"; }

# run_setup TAG ARGS...: the installer from the test folder; waits until every
# program it started has ended too; prints its exit code.
run_setup() {
  local tag=$1 rc
  shift
  rc=$(run_app "$tag" 60 ./miruton-setup.exe "$@")
  timeout 30 "$WINESERVER" -w || true
  echo "$rc"
}

# version_of FILE: the four numbers of FILE's VERSIONINFO (VS_FIXEDFILEINFO:
# the signature, the structure's version, then the file version's high and
# low 32 bits).
version_of() {
  local -a words
  read -ra words < <(wrestool -x --raw -t 16 "$1" | od -An -v -tx4 | tr '\n' ' ')
  local i
  for i in "${!words[@]}"; do
    if [[ ${words[i]} == feef04bd ]]; then
      local ms=$((16#${words[i + 2]})) ls=$((16#${words[i + 3]}))
      echo "$((ms >> 16)).$((ms & 0xffff)).$((ls >> 16)).$((ls & 0xffff))"
      return
    fi
  done
}

# version_value FILE LANGUAGE NAME: an ASCII value of the string table of
# FILE's VERSIONINFO in that language.
version_value() {
  wrestool -x --raw -t 16 -L "$2" "$1" | strings -el | grep -x -A1 -F "$3" | sed -n 2p
}

# The installer's own file: the saver's icon, and the version in its
# VERSIONINFO and in the saver's.
check_setup_file() {
  local setup=$APP/miruton-setup.exe
  check "the installer carries the saver's icon" \
    cmp -s <(wrestool -x -t 14 "$setup") <(wrestool -x -t 14 "$SAVER")
  expect_eq "the installer's file version" "$E2E_VERSION_NUMBERS" "$(version_of "$setup")"
  expect_eq "the saver's file version" "$E2E_VERSION_NUMBERS" "$(version_of "$SAVER")"
  expect_eq "the installer's VERSIONINFO names the product" "$PRODUCT_EN" "$(version_value "$setup" 1033 ProductName)"
  expect_eq "and its version" "$E2E_VERSION" "$(version_value "$setup" 1033 ProductVersion)"
  expect_eq "the saver's VERSIONINFO has the same version" "$E2E_VERSION" "$(version_value "$SAVER" 1041 ProductVersion)"
}

# /S installs, selects and registers; /S again keeps the earlier selection in
# mind; the registered silent uninstall removes everything and gives the
# earlier selection back, unless the user has chosen another saver since.
case_install_silent() {
  cp "$E2E_SETUP" "$APP/miruton-setup.exe"
  check_setup_file
  local saver_kb=$(( ($(stat -c %s "$SAVER") + 1023) / 1024 ))
  # language | saver before | ScreenSaveActive before | saver chosen after installing
  local rounds=(
    "ja_JP.UTF-8|C:\\windows\\system32\\other.scr|0|"
    "en_US.UTF-8|<none>|<none>|"
    "ja_JP.UTF-8|<none>|1|C:\\windows\\system32\\later.scr"
  )
  local round lang before active later dump product
  for round in "${rounds[@]}"; do
    IFS='|' read -r lang before active later <<<"$round"
    log "round: $lang, saver before <$before>, active <$active>, chosen later <$later>"
    export WINE_LANG=$lang
    set_desktop SCRNSAVE.EXE "$before"
    set_desktop ScreenSaveActive "$active"
    expect_eq "/S exits with 0" 0 "$(run_setup install /S)"
    check "System32 holds a copy identical to the built saver" cmp -s "$SAVER" "$(unix_path "$INSTALLED")"
    dump=$(reg_dump "$DESKTOP")
    expect_eq "SCRNSAVE.EXE names it" "$INSTALLED" "$(reg_field "$dump" SCRNSAVE.EXE)"
    expect_eq "ScreenSaveActive" 1 "$(reg_field "$dump" ScreenSaveActive)"
    dump=$(reg_dump "$UNINSTALL")
    product=$PRODUCT_EN
    [[ $lang == ja* ]] && product=$PRODUCT_JA
    expect_eq "Add/Remove Programs: name in the system's language" "$product" "$(reg_field "$dump" DisplayName)"
    expect_eq "version" "$E2E_VERSION" "$(reg_field "$dump" DisplayVersion)"
    expect_eq "publisher" "Tessera Works" "$(reg_field "$dump" Publisher)"
    expect_eq "icon" "$INSTALLED,0" "$(reg_field "$dump" DisplayIcon)"
    local kb uninstall quiet
    kb=$(reg_field "$dump" EstimatedSize)
    check "size $kb KB covers the saver's $saver_kb KB" test "$(printf %d "$kb" 2>/dev/null)" -ge "$saver_kb"
    uninstall=$(reg_field "$dump" UninstallString)
    check "the uninstall command names an existing file" test -f "$(unix_path "$(sed 's/^"\([^"]*\)".*/\1/' <<<"$uninstall")")"
    quiet=$(reg_field "$dump" QuietUninstallString)
    expect_eq "the silent uninstall command" "$uninstall /S" "$quiet"

    expect_eq "/S over the installed saver exits with 0" 0 "$(run_setup again /S)"
    [[ -n $later ]] && set_desktop SCRNSAVE.EXE "$later"
    local program=${quiet#\"}
    program=${program%%\"*}
    local rc
    rc=$(run_app uninstall 60 "$program" /S; timeout 30 "$WINESERVER" -w || true)
    expect_eq "the silent uninstall exits with 0" 0 "$rc"
    [[ $rc == 0 ]] || log "what it wrote: $(head -c 2000 "$WORK/uninstall.err" "$WORK/uninstall.out" 2>&1)"
    check "the saver is gone from System32" test ! -e "$(unix_path "$INSTALLED")"
    check "the uninstaller is gone" test ! -e "$(unix_path "$program")"
    check "the Add/Remove entry is gone" test -z "$(reg_dump "$UNINSTALL")"
    check "nothing remembered is left" test -z "$(reg_dump "$MEMORY")"
    dump=$(reg_dump "$DESKTOP")
    if [[ -n $later ]]; then
      expect_eq "the saver chosen since stays" "$later" "$(reg_field "$dump" SCRNSAVE.EXE)"
    else
      expect_eq "the saver selected before is back" "$before" "$(reg_field "$dump" SCRNSAVE.EXE)"
      expect_eq "and ScreenSaveActive as before" "$active" "$(reg_field "$dump" ScreenSaveActive)"
    fi
  done
}

# The dialogs on a Japanese system: welcome, installation, and the finish page,
# whose check box, ticked from the start, opens the screen-saver settings.
case_install_dialog() {
  cp "$E2E_SETUP" "$APP/miruton-setup.exe"
  cp "$TOOLS/command-recorder.exe" "$WINEPREFIX/drive_c/windows/system32/control.exe"
  export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;control.exe=n"
  start_app setup ./miruton-setup.exe
  XID=$(wait_window_of setup 'class:^miruton-setup\.exe$' 30) || no_window_found setup "no installer window"
  sleep 1
  local windows
  windows=$(probe)
  check "the window is titled '$PRODUCT_JA セットアップ'" grep -qF "class=<#32770> title=<$PRODUCT_JA セットアップ>" <<<"$windows"
  check "the welcome page names the version and the system folder" \
    grep -qF "」$E2E_VERSION を Windows のシステム フォルダーにインストール" <<<"$windows"
  shot welcome >/dev/null
  focus_x_window "$XID"
  xdotool key Return
  local i offer=""
  for ((i = 0; i < 60; i++)); do
    offer=$(probe | grep -F 'class=<Button> title=<スクリーンセーバーの設定を開く>' || true)
    [[ -n $offer ]] && break
    sleep 0.5
  done
  check "the finish page offers to open the screen-saver settings" test -n "$offer"
  expect_eq "the saver is selected" "$INSTALLED" "$(reg_field "$(reg_dump "$DESKTOP")" SCRNSAVE.EXE)"
  shot finish >/dev/null
  focus_x_window "$XID"
  xdotool key Return
  expect_eq "Finish ends the installer with 0" 0 "$(wait_exit setup 30)"
  local log_file=$WINEPREFIX/drive_c/windows/system32/control.log
  for ((i = 0; i < 50; i++)); do
    [[ -s $log_file ]] && break
    sleep 0.2
  done
  expect_eq "it opened the screen-saver settings" '"C:\windows\system32\control.exe" desk.cpl,,@screensaver' \
    "$(head -1 "$log_file" 2>/dev/null | tr -d '\r')"
}

fn="case_${CASE//-/_}"
declare -F "$fn" >/dev/null || { echo "unknown case: $CASE"; exit 2; }
setup
log "case $CASE: saver $SAVER"
"$fn"
finish
