#!/usr/bin/env bash
# An inventory whose first item carries a 500 KB title and 50,000 others after it syncs in full,
# and a change after it as a diff.
source "$(dirname "$0")/lib.sh"
start_service

jq -n -c '[{"ID": 1, "SeriesID": 0, "TradeHold": 0, "InstanceID": 1, "Quality": 0,
            "Attributes": [{"Key": "TitleID", "Value": ("T" * 500000)}]}]
          + [range(50000) | {"ID": (. % 5000 + 1), "SeriesID": (. % 40), "TradeHold": 0,
                             "InstanceID": (. + 2), "Quality": (. % 9), "Attributes": []}]' >"$WORK/large.json"
play "$(scenario large <<EOF
inventory load $WORK/large.json
$(link_lines)
wait 6
expect-request POST /api/v2/inventory/smartSync.php 200
wait 10
item add {"id": 23, "instance": 900001}
wait 20
expect-requests 2 POST /api/v2/inventory/smartSync.php 200
inventory save $WORK/game.json
EOF
)"
expect_equal "service item count" "$(state | jq --arg code "$code" '.accounts[$code].items | length')" 50002
expect_same_inventory "$WORK/game.json"
echo PASS
