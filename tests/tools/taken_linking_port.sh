#!/usr/bin/env bash
# A second plexar-sim while a first one holds the linking port 9100: the second plug-in's server
# cannot listen; plexar-sim must say so naming the holder, and its ws-send, which reaches the first
# plug-in (answering OK), must fail the run instead of passing.
# Environment: SIM, PLUGIN, SCENARIOS (tests/tools/scenarios), WORK (a fresh work folder).
set -euo pipefail
rm -rf "$WORK"
mkdir -p "$WORK"
cd "$WORK"

"$SIM" --plugin "$PLUGIN" --console-log first.log "$SCENARIOS/hold-port.scn" >first.out 2>&1 &
first=$!
trap 'kill "$first" 2>/dev/null || true; wait "$first" 2>/dev/null || true' EXIT
for _ in $(seq 1 400); do
  grep -q 'Local websocket server: Listening on 9100.' first.log 2>/dev/null && break
  kill -0 "$first" 2>/dev/null || { echo "the first plexar-sim ended:"; cat first.out; exit 1; }
  sleep 0.05
done
grep -q 'Listening on 9100.' first.log || { echo "the first plexar-sim never listened:"; cat first.out; exit 1; }

status=0
"$SIM" --plugin "$PLUGIN" --virtual-time --journal-json second.jsonl "$SCENARIOS/link.scn" >second.out 2>second.err \
  || status=$?
fail() { echo "$1"; echo "--- stdout:"; cat second.out; echo "--- stderr:"; cat second.err; exit 1; }
[ "$status" -eq 1 ] || fail "exit status $status, expected 1"
grep -qF "plexar-sim: warning: the plug-in's WebSocket server could not listen on port 9100: process $first (plexar-sim) holds it" second.out \
  || fail "no warning naming the port and process $first"
grep -qF "ws-send failed at $SCENARIOS/link.scn:3: the exchange did not reach this session's plug-in: reply: OK came" second.err \
  || fail "ws-send did not fail for the exchange that reached the other process"
[ "$(tail -n 1 second.out)" = "scenario FAILED at $SCENARIOS/link.scn:3" ] || fail "the closing line is not the last"
tail -n 1 second.jsonl | jq -e --arg at "$SCENARIOS/link.scn:3" \
  '.kind == "result" and .passed == false and .location == $at and .text == "scenario FAILED at " + $at' >/dev/null \
  || fail "the JSON journal does not end with the result: $(tail -n 1 second.jsonl)"
echo "the second session failed as it should"
