#!/usr/bin/env bash
# Starts the real application from a temporary bundle on a private X server
# and drives it with xdotool as a user would: clicks on the rows of the list
# and on the check box, moves and resizes the window, quits with Ctrl+Q and
# starts again. The stand-in host scripts record every call in calls.log,
# which is compared with the expected logs of the fixture rule files.
#
#   window_test.sh SCENARIO WM BAND EXECUTABLE STAND_IN_DIR FIXTURE_DIR [CLOCK_OFFSET]
#
# SCENARIO is one of the scenario_* functions below. WM is "none" or
# "openbox", the window manager the desktop runs. BAND numbers the range of
# display numbers that the scenario takes its X server's number from.
# CLOCK_OFFSET, in seconds, sets the X server's clock that far ahead of this
# machine's, as a remote display's may be: the server runs in a time
# namespace of its own. Where this machine permits none, the scenario is
# skipped with status 77.
set -euo pipefail

[ $# -eq 6 ] || [ $# -eq 7 ] ||
  { echo "usage: $0 SCENARIO none|openbox BAND EXECUTABLE STAND_IN_DIR FIXTURE_DIR [CLOCK_OFFSET]" >&2; exit 2; }
scenario=$1 wm=$2 band=$3 executable=$4 standins=$5 fixtures=$6 clock_offset=${7:-0}
here=$(cd "$(dirname "$0")" && pwd)
# Long enough for a sanitizer build on a loaded machine; every wait polls, so
# a passing run takes a fraction of it.
patience=30

work=$(mktemp -d "${TMPDIR:-/tmp}/sorvane-e2e.XXXXXX")
bundle=$work/bundle
calls=$bundle/calls.log
config=$work/config
screen_file=$work/fb/Xvfb_screen0
xvfb_pid='' app_pid='' other_pid='' as_user=''

cleanup() {
  if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; fi
  if [ -n "$other_pid" ]; then kill "$other_pid" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL ($scenario, window manager: $wm): $*" >&2
  local log
  for log in app.err xvfb.log wm.log; do
    if [ -s "$work/$log" ]; then
      echo "--- $log:" >&2
      cat "$work/$log" >&2
    fi
  done
  exit 1
}

# Runs its arguments until they succeed; false when the deadline passes first.
poll() {
  local end=$((SECONDS + patience))
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.05
  done
}

start_x_server() {
  mkdir -p "$work/fb"
  # A display number of its own, from a range that desktops and CI services
  # leave alone, and from a band of its own for each scenario, so that the
  # scenarios running alongside never race for one number (a server that is
  # ending removes the socket of a new one that took over its number). The
  # server's lock file makes a number exclusive; a number that is taken makes
  # the server end at once, and another is tried. The server writes its
  # number to -displayfd once it accepts clients. It keeps its screen as an
  # XWD file in -fbdir, which is how the test sees what the window shows.
  # -noreset keeps it from resetting when its last client leaves, which an
  # application started right after the previous one quit would run into.
  local attempt number clock=()
  if [ "$clock_offset" -ne 0 ]; then
    clock=(unshare --time --monotonic="$clock_offset" --boottime="$clock_offset")
    if ! "${clock[@]}" true 2>"$work/unshare.err"; then
      echo "SKIP ($scenario): no time namespace for a display clock $clock_offset s ahead: $(cat "$work/unshare.err")" >&2
      exit 77
    fi
  fi
  for attempt in 1 2 3 4 5 6 7 8 9 10; do
    number=$((200 + 50 * band + RANDOM % 50))
    : >"$work/display"
    "${clock[@]}" Xvfb ":$number" -displayfd 3 -screen 0 1024x768x24 -fbdir "$work/fb" -nolisten tcp -noreset \
      3>"$work/display" >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    xvfb_settled() { grep -q '^[0-9]' "$work/display" || ! kill -0 "$xvfb_pid" 2>/dev/null; }
    poll xvfb_settled || fail "Xvfb on display :$number neither started nor ended"
    if grep -q '^[0-9]' "$work/display"; then
      export DISPLAY=":$number"
      poll xdotool getdisplaygeometry >/dev/null 2>&1 || fail "display :$number takes no clients"
      start_window_manager
      return
    fi
    wait "$xvfb_pid" || true
    xvfb_pid=''
  done
  fail "Xvfb did not start after $attempt attempts: $(cat "$work/xvfb.log")"
}

# With WM "openbox", a window manager as users have: it frames, places and
# activates the windows, closes them on request, and changes the order in
# which a window's activation and a press on it arrive.
start_window_manager() {
  [ "$wm" = openbox ] || return 0
  openbox --sm-disable </dev/null >"$work/wm.log" 2>&1 &
  wm_running() { wmctrl -m >/dev/null 2>&1; }
  poll wm_running || fail "openbox did not start"
}

# The bundle as an installer lays it out: the executable in bin/, the host
# scripts in Resources/, the rule-list folder beside them.
make_bundle() {
  mkdir -p "$bundle/bin" "$bundle/Resources" "$work/home" "$work/elsewhere"
  mkdir -m 700 "$work/runtime"
  cp "$executable" "$bundle/bin/sorvane"
  for script in getcontents activeAi applyCS applyPS; do
    install -m 755 "$standins/$script.scpt" "$bundle/Resources/"
  done
  cp "$fixtures/inventory.txt" "$bundle/"
  : >"$calls"
}

# Starts the application, with ARGUMENTS on its command line, from a folder
# that is not the bundle's, so that the bundle is found from the executable
# alone, with a private home and configuration folder and nothing of a
# desktop session. As $as_user when that is set (see run_as_an_ordinary_user).
start_app() {
  local user=()
  [ -z "$as_user" ] || user=(setpriv --reuid="$as_user" --regid="$as_user" --clear-groups)
  (
    cd "$work/elsewhere"
    unset SESSION_MANAGER DBUS_SESSION_BUS_ADDRESS XDG_CURRENT_DESKTOP DESKTOP_SESSION \
      XDG_DATA_HOME XDG_CACHE_HOME QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_FONT_DPI \
      QT_ENABLE_HIGHDPI_SCALING QT_STYLE_OVERRIDE QT_QPA_PLATFORMTHEME
    export HOME=$work/home XDG_CONFIG_HOME=$config XDG_RUNTIME_DIR=$work/runtime \
      QT_QPA_PLATFORM=xcb
    exec "${user[@]}" "$bundle/bin/sorvane" "$@"
  ) >>"$work/app.out" 2>>"$work/app.err" &
  app_pid=$!
  window_shown() {
    kill -0 "$app_pid" 2>/dev/null || fail "the application ended before its window showed"
    window=$(xdotool search --onlyvisible --name '^Sorvane$' 2>/dev/null | head -n 1) && [ -n "$window" ]
  }
  poll window_shown || fail "no window named Sorvane appeared"
  [ "$(xdotool getwindowname "$window")" = Sorvane ] ||
    fail "the window's title is \"$(xdotool getwindowname "$window")\", not \"Sorvane\""
  read_geometry
}

# X, Y, WIDTH and HEIGHT of the X window: its place on the screen, inside
# the window manager's frame if there is one. The menu bar is inside the
# window.
read_geometry() {
  local info
  info=$(xwininfo -id "$window") || fail "the window is gone"
  X=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$info")
  Y=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$info")
  WIDTH=$(awk '/^ *Width:/ {print $2}' <<<"$info")
  HEIGHT=$(awk '/^ *Height:/ {print $2}' <<<"$info")
}

text_rows() { perl "$here/text_rows.pl" "$screen_file" "$@"; }

pointer_away() { xdotool mousemove 1020 760; }

# The bands of the list's rows, one "top bottom" line each (screen
# coordinates), from the top: those of dark text, and those drawn in the
# selection colour, whose text is light.
list_rows() {
  local content_height=$((HEIGHT - bar)) selected
  # The inside of the list, its frame and scroll bar left out.
  local inside=("$((X + 9))" "$((Y + bar + 7))" "$((WIDTH - 40))" "$((content_height - 30))")
  selected=$(text_rows "${inside[@]}" selection)
  text_rows "${inside[@]}" | while read -r top bottom; do
    # Dark text inside a selected band is no row of its own.
    while read -r first last; do
      [ -n "$first" ] && [ "$top" -le "$last" ] && [ "$bottom" -ge "$first" ] && continue 2
    done <<<"$selected"
    echo "$top $bottom"
  done
  [ -z "$selected" ] || printf '%s\n' "$selected"
}

# Waits until the check box's caption is drawn and the rows of the list have
# stayed the same over three looks in a row; their bands are then in
# $work/rows (see list_rows), those of the selected rows in $work/selected.
wait_painted() {
  pointer_away
  read_geometry
  local content_height=$((HEIGHT - bar)) same=0 previous=none rows box
  local box_width=$((WIDTH - 5 < 149 ? WIDTH - 5 : 149))
  local end=$((SECONDS + patience))
  while :; do
    box=$(text_rows $((X + 5)) $((Y + bar + content_height - 22)) "$box_width" 20)
    rows=$(list_rows | sort -n)
    if [ -n "$box" ] && [ "$rows" = "$previous" ]; then same=$((same + 1)); else same=0; fi
    previous=$rows
    [ "$same" -lt 2 ] || break
    [ "$SECONDS" -lt "$end" ] || fail "the window was not drawn completely"
    sleep 0.1
  done
  if [ -n "$rows" ]; then printf '%s\n' "$rows" >"$work/rows"; else : >"$work/rows"; fi
  text_rows $((X + 9)) $((Y + bar + 7)) $((WIDTH - 40)) $((content_height - 30)) selection \
    >"$work/selected"
  echo "window at $X,$Y size ${WIDTH}x$HEIGHT (menu bar $bar); rows of the list at y: $(tr ' \n' '- ' <"$work/rows")"
}

row_count() { wc -l <"$work/rows"; }

# The number (from 0) of the one selected row; fails unless exactly one is.
selected_row() {
  [ "$(wc -l <"$work/selected")" -eq 1 ] ||
    fail "$(wc -l <"$work/selected") rows are drawn selected, expected one"
  grep -n -x -F "$(cat "$work/selected")" "$work/rows" | cut -d: -f1 | awk '{print $1 - 1}'
}

# Clicks the middle of text row N (from 0) of the list.
click_row() {
  local top bottom
  read -r top bottom < <(sed -n "$(($1 + 1))p" "$work/rows")
  [ -n "$bottom" ] || fail "the list has no row $1"
  xdotool mousemove $((X + 30)) $(((top + bottom) / 2)) click 1
}

click_box() {
  xdotool mousemove $((X + 13)) $((Y + HEIGHT - 12)) click 1
}

# Expected calls of one run of the fixture rule file NAME, or of a rule file
# that letter_rule_files made, with the Clearing flag FLAG. The expected logs
# are recorded with the box checked; with it cleared the last argument of
# every style request reads 0 instead.
expected_run() {
  local log=$fixtures/expected/$1.log
  [ -f "$log" ] || log=$fixtures/expected/letter.log
  if [ "$2" = 1 ]; then
    sed "s/\tLETTER\t/\t$1\t/" "$log"
  else
    sed "s/\tLETTER\t/\t$1\t/; /^apply/s/\t1\$/\t0/" "$log"
  fi
}

# Rule files named by their arguments, each with a rule that styles every "e"
# with the style of the file's own name, so that the calls say which ran.
letter_rule_files() {
  mkdir -p "$bundle/Verodavuda"
  local name
  for name in "$@"; do printf 'e\t%s\t\n' "$name" >"$bundle/Verodavuda/$name.txt"; done
}

expect_calls() { cat >>"$work/expected.log"; }

line_count() { wc -l <"$1"; }

# Compares calls.log with every call expected so far, once it has as many
# lines; a call too many shows here or at the latest when the process ends.
check_calls() {
  enough_calls() { [ "$(line_count "$calls")" -ge "$(line_count "$work/expected.log")" ]; }
  poll enough_calls || true
  diff -u "$work/expected.log" "$calls" >&2 || fail "the script calls differ from the expected ones (above)"
}

# Clicks text row N with the box in state FLAG and waits for a complete run of
# one of the listed fixture rule files; sets $ran to that file's name. Which
# row shows which file is the list's business; that a row runs exactly one
# file's calls, and each row a different file, is the test's.
click_row_and_identify() {
  local row=$1 flag=$2
  shift 2
  local before
  before=$(line_count "$calls")
  click_row "$row"
  local end=$((SECONDS + patience)) name
  ran=
  while [ -z "$ran" ]; do
    tail -n +$((before + 1)) "$calls" >"$work/new.log"
    for name in "$@"; do
      if expected_run "$name" "$flag" | cmp -s - "$work/new.log"; then ran=$name; fi
    done
    if [ -z "$ran" ]; then
      [ "$SECONDS" -lt "$end" ] ||
        fail "a click on row $row made no complete run of any of: $*; it made:$(printf '\n'; cat "$work/new.log")"
      sleep 0.05
    fi
  done
  expected_run "$ran" "$flag" | expect_calls
  check_calls
}

# Quits with Ctrl+Q as the user does, waits for the process to end, and
# checks its exit status, the complete call log and the absence of any
# sanitizer report.
quit_app() {
  timeout 10 xdotool windowfocus --sync "$window" || fail "the window could not be given the focus"
  xdotool key --clearmodifiers ctrl+q
  expect_exit "Ctrl+Q"
}

# Waits for the process to end after HOW, and checks as quit_app does.
expect_exit() {
  app_gone() { ! kill -0 "$app_pid" 2>/dev/null; }
  poll app_gone || fail "the application did not quit on $1"
  local status=0
  wait "$app_pid" || status=$?
  app_pid=
  if grep -Eq 'Sanitizer|runtime error:' "$work/app.err"; then fail "a sanitizer reported a fault"; fi
  [ "$status" -eq 0 ] || fail "the application exited with status $status"
  diff -u "$work/expected.log" "$calls" >&2 || fail "the script calls differ from the expected ones (above)"
}

expect_preferences() {
  printf '%s\n' "$@" >"$work/expected.pref"
  [ -f "$config/sorvane.pref" ] || fail "no preferences file $config/sorvane.pref"
  diff -u "$work/expected.pref" "$config/sorvane.pref" >&2 || fail "the preferences file differs (above)"
}

expect_geometry() {
  read_geometry
  [ "$X $Y $WIDTH $HEIGHT" = "$1 $2 $3 $4" ] ||
    fail "the window is at $X,$Y size ${WIDTH}x$HEIGHT, expected $1,$2 size ${3}x$4"
}

# After a start: the activation script has run once, at Open, and the window
# is drawn.
expect_shown() {
  printf 'activeAi.scpt\t0\n' | expect_calls
  check_calls
  wait_painted
}

# The first start of every scenario: no preferences file, so the window has
# its design size of 160 x 160 below the menu bar.
first_start() {
  start_app
  bar=$((HEIGHT - 160))
  if [ "$WIDTH" -ne 160 ] || [ "$bar" -le 0 ] || [ "$bar" -ge 80 ]; then
    fail "the first window is ${WIDTH}x$HEIGHT; expected 160 wide, 160 high below a menu bar"
  fi
  expect_shown
}

copy_rule_folder() {
  mkdir -p "$bundle/Verodavuda"
  cp -R "$fixtures/Verodavuda/." "$bundle/Verodavuda/"
}

scenario_rows() {
  copy_rule_folder
  first_start
  # Marks and 見出し; neither the hidden rule file nor readme.md.
  [ "$(row_count)" -eq 2 ] || fail "the list shows $(row_count) rows, expected 2"
  # The box starts checked.
  click_row_and_identify 0 1 Marks 見出し
  local first=$ran
  click_row_and_identify 1 1 Marks 見出し
  [ "$ran" != "$first" ] || fail "rows 0 and 1 both ran $ran"
  # Each click on the box turns the flag of the next run.
  click_box
  click_row_and_identify 0 0 "$first"
  click_box
  click_row_and_identify 0 1 "$first"
  [ ! -e "$config/sorvane.pref" ] || fail "the preferences were written before the window closed"
  read_geometry
  quit_app
  # The configuration folder did not exist; it was made for the file.
  expect_preferences "$X" "$((Y + bar))" 160 160 1
}

scenario_preferences() {
  copy_rule_folder
  first_start
  click_box
  xdotool windowmove "$window" 200 150 windowsize "$window" 240 $((200 + bar))
  moved() { read_geometry && [ "$X $Y $WIDTH $HEIGHT" = "200 150 240 $((200 + bar))" ]; }
  poll moved || fail "the window did not move to 200,150 and take the size 240x$((200 + bar))"
  quit_app
  # Left and top of the content (below the menu bar), its width and height,
  # the box.
  expect_preferences 200 $((150 + bar)) 240 200 0

  # The second start puts the window where the first left it, the box off.
  start_app
  expect_geometry 200 150 240 $((200 + bar))
  expect_shown
  click_row_and_identify 0 0 Marks 見出し
  quit_app
  expect_preferences 200 $((150 + bar)) 240 200 0

  # A place left of 10 or above 40 is brought to 10 and 40; the box is on.
  printf '5\n20\n300\n200\n1\n' >"$config/sorvane.pref"
  start_app
  expect_geometry 10 $((40 - bar)) 300 $((200 + bar))
  expect_shown
  click_row_and_identify 0 1 Marks 見出し
  quit_app
  expect_preferences 10 40 300 200 1
}

scenario_notice() {
  # A window tall enough to show the four notice rows in any font.
  mkdir -p "$config"
  printf '20\n60\n240\n300\n1\n' >"$config/sorvane.pref"

  # No rule-list folder: it is made, empty, and the list shows the notice.
  start_app
  bar=$((HEIGHT - 300))
  expect_shown
  [ -d "$bundle/Verodavuda" ] || fail "the missing rule-list folder was not made"
  [ "$(row_count)" -eq 4 ] || fail "the list shows $(row_count) text rows, expected the 4 notice rows"
  # A notice row names no rule file: its click runs no script. Quitting
  # afterwards shows that the click has been handled.
  click_row 0
  quit_app
  [ -z "$(ls -A "$bundle/Verodavuda")" ] || fail "the made rule-list folder is not empty"

  # The same with the folder there and empty.
  start_app
  expect_shown
  [ "$(row_count)" -eq 4 ] || fail "the list shows $(row_count) text rows, expected the 4 notice rows"
  click_row 3
  quit_app

  # A folder with entries but no rule file shows an empty list, no notice.
  cp "$fixtures/Verodavuda/readme.md" "$bundle/Verodavuda/"
  start_app
  expect_shown
  [ "$(row_count)" -eq 0 ] || fail "the list shows $(row_count) text rows, expected none"
  xdotool mousemove $((X + 30)) $((Y + bar + 15)) click 1
  quit_app
}

# Starts another program's window away from Sorvane's, once, and makes it
# the active one, as a user working in the host application does.
activate_other_program() {
  if [ -z "$other_pid" ]; then
    xmessage -geometry +600+400 "another program" </dev/null >/dev/null 2>&1 &
    other_pid=$!
    other_shown() { other=$(xdotool search --onlyvisible --name '^xmessage$' 2>/dev/null | head -n 1) && [ -n "$other" ]; }
    poll other_shown || fail "xmessage did not show"
  fi
  if [ "$wm" = openbox ]; then
    xdotool windowactivate --sync "$other" || fail "xmessage could not be activated"
  else
    xdotool windowfocus --sync "$other" || fail "xmessage could not be given the focus"
  fi
  # Qt takes its window for inactive a moment after the focus has gone.
  sleep 0.5
}

# A press on an inactive window runs the file its row showed at the press,
# though the activation that the press brings refills the list with a new
# row above it, before or after the press arrives; that file's row is then
# the one drawn selected. So do both presses of a double click, though the
# list is drawn anew between them; the second starts no run where it was
# made before the first run had ended.
scenario_inactive_press() {
  letter_rule_files b c d e
  first_start
  [ "$(row_count)" -eq 4 ] || fail "the list shows $(row_count) rows, expected b, c, d and e"
  activate_other_program
  letter_rule_files a
  click_row_and_identify 1 1 b c d
  [ "$ran" = c ] || fail "a press on the row showing c ran $ran"
  wait_painted
  [ "$(selected_row)" -eq 2 ] || fail "row $(selected_row) is drawn selected, not the row of c (2)"

  # The rows show a, b, c, d and e; bb comes in above d.
  activate_other_program
  letter_rule_files bb
  local top bottom before
  read -r top bottom < <(sed -n 4p "$work/rows")
  before=$(line_count "$calls")
  # Well within the double-click time of 400 ms, and long after a run
  # unless the machine is very busy.
  xdotool mousemove $((X + 30)) $(((top + bottom) / 2)) click --repeat 2 --delay 300 1
  # The quit's key press comes after both presses, so the program has
  # handled them when it ends.
  timeout 10 xdotool windowfocus --sync "$window" || fail "the window could not be given the focus"
  xdotool key --clearmodifiers ctrl+q
  app_gone() { ! kill -0 "$app_pid" 2>/dev/null; }
  poll app_gone || fail "the application did not quit on Ctrl+Q"
  tail -n +$((before + 1)) "$calls" >"$work/new.log"
  expected_run d 1 >"$work/once.log"
  cat "$work/once.log" "$work/once.log" >"$work/twice.log"
  cmp -s "$work/new.log" "$work/once.log" || cmp -s "$work/new.log" "$work/twice.log" ||
    fail "a double click on the row showing d made other runs than d's:$(printf '\n'; cat "$work/new.log")"
  expect_calls <"$work/new.log"
  expect_exit "Ctrl+Q"
}

# Presses made while a slow run goes on start no run of their own once it
# has ended; a press after its end runs as usual.
scenario_presses_during_run() {
  letter_rule_files b c d e
  printf '2\n' >"$bundle/content-delay"
  first_start
  local before
  before=$(line_count "$calls")
  click_row 0
  run_started() { [ "$(line_count "$calls")" -gt "$before" ]; }
  poll run_started || fail "a click on row 0 started no run"
  local press
  for press in 1 2 3; do
    click_row 1
    sleep 0.25
  done
  expected_run b 1 | expect_calls
  check_calls
  # Held-back presses would start their runs right away.
  sleep 1
  check_calls
  click_row_and_identify 1 1 c
  quit_app
}

# Closing the window through the window manager writes the preferences and
# ends the program normally.
scenario_close_by_window_manager() {
  first_start
  click_box
  read_geometry
  wmctrl -c Sorvane || fail "wmctrl could not close the window"
  expect_exit "wmctrl -c"
  expect_preferences "$X" "$((Y + bar))" 160 160 0
}

# Runs the application as an ordinary user from here on: the superuser
# writes into any folder, a user cannot write into one made read-only. The
# test's files become theirs.
run_as_an_ordinary_user() {
  [ "$(id -u)" -eq 0 ] || return 0
  as_user=65534
  chmod 755 "$work"
  chown -R "$as_user:$as_user" "$work/home" "$work/runtime" "$work/elsewhere" "$bundle"
}

# The window's list, its rows and the check box as a user meets them,
# started with options that Qt would take for its own: -platform offscreen
# would show no window, -reverse would mirror it. A saved place off the
# screen comes back with the whole window on the screen; rows have the
# height of a line of text; no row looks selected before one is pressed.
scenario_window_as_met() {
  letter_rule_files b c d e f g h i j k
  mkdir -p "$config"
  printf '5000\n3000\n200\n200\n1\n' >"$config/sorvane.pref"
  start_app -platform offscreen -reverse
  bar=$((HEIGHT - 200))
  local screen_width screen_height
  read -r screen_width screen_height < <(xdotool getdisplaygeometry)
  expect_geometry $((screen_width - 200)) $((screen_height - 200 - bar)) 200 $((200 + bar))
  expect_shown
  # Left to right: the menus start at the menu bar's left end.
  local first
  read -r first _ < <(text_rows "$X" "$Y" "$WIDTH" "$bar" columns)
  [ -n "$first" ] && [ "$first" -lt $((X + 40)) ] ||
    fail "the window is mirrored: the menu bar's first title starts at x $first, not at its left end $X"
  local tops pitch
  tops=$(awk '{print $1}' "$work/rows")
  pitch=$(( ($(tail -n 1 <<<"$tops") - $(head -n 1 <<<"$tops")) / ($(row_count) - 1) ))
  [ "$(row_count)" -ge 8 ] && [ "$pitch" -le 22 ] ||
    fail "the list shows $(row_count) rows $pitch pixels apart, expected rows a line of text high"
  [ -z "$(text_rows $((X + 9)) $((Y + bar + 7)) $((WIDTH - 40)) $((HEIGHT - bar - 30)) tint)" ] ||
    fail "a row looks selected before any press"
  quit_app
  expect_preferences $((screen_width - 200)) $((screen_height - 200)) 200 200 1
}

# A rule file whose name is not valid UTF-8 runs from its row. Preferences
# are written where the folder takes no new file but the file may be
# written, and through a link to a file not made yet, which stays a link.
scenario_names_and_preferences() {
  mkdir -p "$bundle/Verodavuda" "$config" "$work/linked"
  printf 'e\tcafe\t\n' >"$bundle/Verodavuda/caf$(printf '\351').txt"
  printf '20\n60\n160\n160\n1\n' >"$config/sorvane.pref"
  run_as_an_ordinary_user
  [ -z "$as_user" ] || chown "$as_user:$as_user" "$config/sorvane.pref" "$work/linked"
  chmod 555 "$config"
  start_app
  bar=$((HEIGHT - 160))
  expect_shown
  click_row_and_identify 0 1 cafe
  quit_app
  expect_preferences "$X" "$((Y + bar))" 160 160 1
  [ "$(ls -A "$config")" = sorvane.pref ] || fail "the preferences folder holds more: $(ls -A "$config")"

  chmod 755 "$config"
  rm "$config/sorvane.pref"
  ln -s "$work/linked/sorvane.pref" "$config/sorvane.pref"
  start_app
  expect_shown
  read_geometry
  quit_app
  [ -L "$config/sorvane.pref" ] || fail "the link to the preferences file was replaced"
  expect_preferences "$X" "$((Y + bar))" 160 160 1
}

# The processes whose command line holds TEXT.
processes_running() {
  local cmdline
  for cmdline in /proc/[0-9]*/cmdline; do
    if tr '\0' ' ' <"$cmdline" 2>/dev/null | grep -qF -- "$1"; then
      basename "$(dirname "$cmdline")"
    fi
  done
}

# A quit signal while a host script hangs ends the script, and the program
# quits as for any quit signal: the preferences are written, the status is 0.
scenario_quit_signal_during_run() {
  letter_rule_files b
  first_start
  printf '3600\n' >"$bundle/content-delay"
  local before
  before=$(line_count "$calls")
  click_row 0
  run_started() { [ "$(line_count "$calls")" -gt "$before" ]; }
  poll run_started || fail "a click on row 0 started no run"
  printf 'getcontents.scpt\t0\n' | expect_calls
  local script
  script=$(processes_running "$bundle/Resources/getcontents.scpt")
  [ -n "$script" ] || fail "the content script is not running"
  read_geometry
  kill -TERM "$app_pid"
  expect_exit SIGTERM
  expect_preferences "$X" "$((Y + bar))" 160 160 1
  [ -z "$(processes_running "$bundle/Resources/getcontents.scpt")" ] ||
    fail "the content script still runs after the program quit"
}

for tool in Xvfb xdotool xwininfo perl; do command -v "$tool" >/dev/null || fail "$tool is needed"; done
start_x_server
make_bundle
declare -F "scenario_$scenario" >/dev/null || fail "unknown scenario $scenario"
"scenario_$scenario"
echo "passed: $scenario"
