#!/usr/bin/env bash
# Items received within the 10 s cooldown after a sync, with nothing after them, reach the
# service once the cooldown has ended: one more upload, no later change needed.
source "$(dirname "$0")/lib.sh"
start_service

play "$(scenario cooldown <<EOF
$(link_lines)
wait 6
expect-requests 1 POST /api/v2/inventory/smartSync.php 200
item add {"id": 23, "instance": 1001}
wait 2
item add-silent {"id": 24, "instance": 1002, "quality": 3}
wait 1m
expect-requests 2 POST /api/v2/inventory/smartSync.php 200
inventory save $WORK/game.json
EOF
)"
expect_same_inventory "$WORK/game.json"
expect_equal "smartSync answers" "$(state | jq -c '.requests.smartSync')" '{"200":2}'
echo PASS
