#!/usr/bin/env bash
# A guid the URL cannot carry is refused. In an answer (scripted: the local service never hands
# one out) it is not stored and the next upload is a full one; stored in the snapshot, it makes
# the next start send the whole inventory, which the service accepts.
source "$(dirname "$0")/lib.sh"
start_service
play_first_start
accepted="$(snapshot_guid)"

play "$(scenario answered <<EOF
inventory load $WORK/game.json
respond /api/v2/inventory/smartSync.php 200 {"full": false, "guid": "sp ace&lastRequest=x"}
wait 6
expect-requests 1 POST /api/v2/inventory/smartSync.php 200
respond /api/v2/inventory/smartSync.php 200 {"full": false, "guid": "fine-guid.1"}
item add {"id": 24, "instance": 1002}
wait 20
expect-requests 2 POST /api/v2/inventory/smartSync.php 200
item add {"id": 25, "instance": 1003}
wait 20
inventory save $WORK/game.json
EOF
)"
uploads="$(jq -r 'select(.kind == "request") | .url | sub(".*smartSync.php"; "")' "$WORK/run-2.jsonl" | tr '\n' ' ')"
expect_equal "uploads after the refused guid" "$uploads" "?lastRequest=$accepted ?lastRequest ?lastRequest=fine-guid.1 "
expect_equal "snapshot guid" "$(snapshot_guid)" "fine-guid.1"

# A stored guid that would inject a query parameter.
jq '.guid = "x&lastRequest=y"' "$(snapshot)" >"$WORK/hostile.json"
mv "$WORK/hostile.json" "$(snapshot)"
play "$(scenario stored <<EOF
inventory load $WORK/game.json
wait 7
expect-requests 1 POST /api/v2/inventory/smartSync.php 200
EOF
)"
expect_equal "upload with the stored guid" \
  "$(jq -r 'select(.kind == "request") | .url | sub(".*smartSync.php"; "")' "$WORK/run-3.jsonl")" "?lastRequest"
expect_same_inventory "$WORK/game.json"
echo PASS
