#!/usr/bin/env bash
# The one end-to-end test on real time: the same session against qvx-devservice over real HTTP,
# once on virtual time (with an hour of play in it) and once on real time (the hour shortened to
# a tenth of a second, which changes nothing: nothing is due in it), makes the same requests, console lines,
# toasts and modals in the same order. Service guids differ from run to run and are masked. The
# lines after "Plugin unloaded!" are compared as a set: the game thread and the plug-in's
# WebSocket thread log them at once while the server stops, in either order, whatever the clock.
source "$(dirname "$0")/lib.sh"

# journal_lines JSONL LINES: what the host showed and did, one line per entry, without the clock
# and the service's guids; LINES.session up to the unload, LINES.shutdown the rest, sorted.
journal_lines() {
  jq -r 'if .kind == "request" then "request \(.verb) \(.url)"
         elif .kind == "answer" then "answer \(.status)"
         elif .kind == "toast" then "toast \(.text)"
         elif .kind == "modal" then "modal \(.title)"
         elif .kind == "ws" then "ws \(.outcome) \(.text)"
         elif .kind == "console" then "console \(.text)"
         else empty end' "$1" | sed -E 's/[0-9a-f]{32}/GUID/g' >"$2"
  # The server thread logs a client's disconnect while the game thread goes on, so in real time
  # that line falls anywhere among the game thread's next lines: it is compared as a set.
  sed '/^console Plugin unloaded!$/q' "$2" | grep -v '^console Local websocket server: Client disonnected$' >"$2.session"
  grep -c '^console Local websocket server: Client disonnected$' "$2" >"$2.disconnects" || true
  sed '1,/^console Plugin unloaded!$/d' "$2" | sort >"$2.shutdown"
}

start_service
play virtual-and-real.scn
stop_devservice
rm -rf "$WORK/host"

start_service
sed 's/^wait 1h$/wait 100ms/' "$here/scenarios/virtual-and-real.scn" >"$WORK/real-time.scn"
play "$WORK/real-time.scn" --real-time
stop_devservice

journal_lines "$WORK/run-1.jsonl" "$WORK/virtual.lines"
journal_lines "$WORK/run-2.jsonl" "$WORK/real.lines"
for part in session shutdown disconnects; do
  diff -u "$WORK/real.lines.$part" "$WORK/virtual.lines.$part" >&2 \
    || fail "virtual time played otherwise than real time"
done
grep -q '^request POST https://api.quorvex.com/api/v2/trading/' "$WORK/virtual.lines" || fail "no trade was logged"
# The virtual run did spend its hour: the trade came after it.
trade_at="$(jq -r 'select(.kind == "modal") | .at' "$WORK/run-1.jsonl")"
jq -en --argjson at "$trade_at" '$at > 3600' >/dev/null || fail "the trade came at $trade_at s, not after the hour"
echo "PASS"
