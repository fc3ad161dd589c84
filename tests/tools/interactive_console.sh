#!/usr/bin/env bash
# plexar-sim --interactive as a person uses it, in a terminal that tmux provides: keys are typed
# with send-keys and the screen is read with capture-pane. A typed command runs and its journal
# line appears; a journal line that arrives while a line is half typed is printed above it and the
# line goes on intact; a bad line is reported and the session goes on; a console line runs as
# typed; Tab completes a cvar name, a command name and a settings label; Ctrl-D unloads the
# plug-in and ends the session; the history survives a restart (Up recalls the last line of the
# previous session); a scenario given with --interactive plays first, and the prompt follows even
# when it fails. Every wait is for text on the screen, with a bounded patience. Needs SIM, PLUGIN
# and WORK; exits 77 (skipped) when tmux cannot start a terminal.
set -euo pipefail
: "${SIM:?}" "${PLUGIN:?}" "${WORK:?}"

patience_seconds=30
rm -rf "$WORK"
mkdir -p "$WORK/home"
socket="$WORK/tmux.sock"
# A dead pane stays on screen, so that the last lines and the exit status can still be read.
printf 'set -g remain-on-exit on\nset -g history-limit 5000\n' >"$WORK/tmux.conf"

if ! command -v tmux >/dev/null; then
  echo "SKIP: tmux is not installed (scripts/install-deps.sh installs it)"
  exit 77
fi
tmux_() { tmux -S "$socket" -f "$WORK/tmux.conf" "$@"; }
trap 'tmux_ kill-server 2>/dev/null || true' EXIT

fail() {
  echo "FAIL: $*" >&2
  echo "--- screen of $session:" >&2
  screen >&2 || true
  exit 1
}

# start NAME FLAG...: plexar-sim in a terminal of its own, 160 columns wide, with the test's host
# folder and an empty home (no ~/.editrc); its exit status goes to $WORK/NAME.status.
start() {
  session="$1"
  shift
  if ! tmux_ new-session -d -s "$session" -x 160 -y 50 \
       sh -c 'status_file="$1"; shift; "$@"; echo "$?" >"$status_file"' sh "$WORK/$session.status" env HOME="$WORK/home" \
       "$SIM" --plugin "$PLUGIN" --host-dir "$WORK/host" --interactive "$@" 2>"$WORK/tmux.err"; then
    echo "SKIP: tmux cannot start a terminal here: $(cat "$WORK/tmux.err")"
    exit 77
  fi
}

screen() { tmux_ capture-pane -p -J -S - -t "$session"; }
last_line() { screen | sed '/^[[:space:]]*$/d' | tail -n 1 | sed 's/[[:space:]]*$//'; }
type_text() { tmux_ send-keys -t "$session" -l "$1"; }
press() { tmux_ send-keys -t "$session" "$@"; }

# until DESCRIPTION COMMAND...: polls until the command succeeds, or fails the test after the
# patience.
until_() {
  local what="$1" deadline=$((SECONDS + patience_seconds))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || fail "no $what within $patience_seconds s"
    sleep 0.05
  done
}
on_screen() { screen | grep -qF -- "$1"; }
screen_matches() { screen | grep -qE -- "$1"; }
last_line_is() { [ "$(last_line)" = "$1" ]; }
# The program ended and its exit status was written.
ended() { [ -s "$WORK/$session.status" ]; }
exit_status() { cat "$WORK/$session.status"; }

prompt='plexar-sim>'

# --- The first session, on real time: the game loop runs while the prompt waits.
start first
until_ "prompt" last_line_is "$prompt"

# Half a line typed; the start-up sync, five seconds in, logs meanwhile.
type_text 'console cvarlist qvx_sta'
until_ "start-up sync line" on_screen 'Unable to sync, reason: 3'
screen_matches '^\[ +5\.[0-9]{3}\] Unable to sync, reason: 3$' || fail "the journal line is torn"
last_line_is "$prompt console cvarlist qvx_sta" || fail "the half-typed line is not intact below the journal"
type_text 'ts'
press Enter
until_ "journal line of the typed command" screen_matches '^\[ +[0-9]+\.[0-9]{3}\] qvx_stats_enable = "1"'

# A bad line gets the scenario parser's message; the session goes on.
type_text 'expect-logs Plugin'
press Enter
until_ "message for the bad line" on_screen "prompt:2: unknown command 'expect-logs'; did you mean 'expect-log'?"

# A console line typed as it is, as into the host's console.
type_text 'qvx_stats_enable'
press Enter
until_ "the cvar's value" screen_matches '^\[ +[0-9]+\.[0-9]{3}\] qvx_stats_enable = "1"$'

# Tab completes the cvar name; the completed line runs.
type_text 'console qvx_toa'
press Tab
until_ "completed cvar name" last_line_is "$prompt console qvx_toasts_enabled"
type_text '0'
press Enter
# Its new value shows the completed line ran.
type_text 'console cvarlist qvx_toasts'
press Enter
until_ "the completed cvar's new value" on_screen 'qvx_toasts_enabled = "0"'

# Ctrl-D ends the session as the end of a scenario does.
press C-d
until_ "end of the first session" ended
on_screen 'Plugin unloaded!' || fail "Ctrl-D did not unload the plug-in"
[ "$(exit_status)" = 0 ] || fail "the first session exited with status $(exit_status)"

# --- The second session, with the same host folder: Up recalls the last line of the first.
start second --virtual-time
until_ "prompt" last_line_is "$prompt"
press Up
until_ "the last line of the first session" last_line_is "$prompt console cvarlist qvx_toasts"
press Enter
until_ "the recalled line's journal line" on_screen '1 cvar starting with qvx_toasts'

# Tab completes a command name, and a settings label (listing the candidates when it cannot
# choose); the completed lines run.
type_text 'settings te'
press Tab
until_ "completed command name" last_line_is "$prompt settings text"
press Enter
until_ "the settings page as text" on_screen '[Sync Loadout]'
type_text 'settings click Sync'
press Tab
until_ "labels sharing the typed words" last_line_is "$prompt settings click Sync"
press Tab
until_ "list of the candidate labels" screen_matches '^Sync Inventory +Sync Loadout$'
type_text 'L'
press Tab
until_ "completed label" last_line_is "$prompt settings click Sync Loadout"
press Enter
until_ "click on the completed label" on_screen 'settings: clicked "Sync Loadout"'
press C-d
until_ "end of the second session" ended
[ "$(exit_status)" = 0 ] || fail "the second session exited with status $(exit_status)"

# --- A scenario that fails, then the prompt: the session goes on where the scenario stopped, and
# the exit status is the scenario's.
printf 'console qvx_stats_enable 0\nexpect-log never logged\n' >"$WORK/stops.scn"
start third --virtual-time "$WORK/stops.scn"
until_ "the scenario's failure" on_screen "expect-log failed at $WORK/stops.scn:2: no console line contains: never logged"
until_ "prompt after the scenario" last_line_is "$prompt"
on_screen 'plexar-sim: the scenario stopped; the session goes on at the prompt' || fail "no word that the session goes on"
type_text 'qvx_stats_enable'
press Enter
until_ "the value the scenario set" screen_matches '^\[ +[0-9]+\.[0-9]{3}\] qvx_stats_enable = "0"$'
press C-d
until_ "end of the third session" ended
[ "$(exit_status)" = 1 ] || fail "the third session exited with status $(exit_status), expected the scenario's 1"
echo "PASS"
