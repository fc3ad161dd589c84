#!/usr/bin/env bash
# The service answers a diff with "full": true and the game is left before the resync: the next
# start sends the whole inventory, and the service's copy ends right.
source "$(dirname "$0")/lib.sh"
start_service

play_first_start

dev "/dev/expire-guid?code=$code"
plus_item "$WORK/game.json" 2001 >"$WORK/game-2.json"
play "$(scenario quit-before-resync <<EOF
inventory load $WORK/game-2.json
wait 6
expect-log "Full resync requested"
delete
wait 30
load
wait 1m
inventory save $WORK/game.json
EOF
)"
uploads="$(jq -r 'select(.kind == "request" and (.url | contains("/smartSync.php"))) | .url | sub(".*smartSync.php"; "")' "$WORK/run-2.jsonl")"
expect_equal "uploads of the second start" "$(sed -n 1p <<<"$uploads" | cut -c1-13)" "?lastRequest="
expect_equal "upload after the restart" "$(sed -n 2p <<<"$uploads")" "?lastRequest"
expect_same_inventory "$WORK/game.json"
echo PASS
