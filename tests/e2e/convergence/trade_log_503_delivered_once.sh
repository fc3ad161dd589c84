#!/usr/bin/env bash
# A trade log answered 503 is kept; the game is left before the retry, and the next start
# delivers it: the service holds the trade once, and the plug-in sends it no more after the 200.
source "$(dirname "$0")/lib.sh"
start_service --fail logIngameTrade=503x1

play "$(scenario trade <<EOF
$(link_lines)
wait 6
trade open Steam|76561190000000200|0
trade offer local {"items": [], "currency": [{"id": 13, "quantity": 25}]}
trade offer remote {"items": [{"id": 5000, "instance": 2001}], "currency": []}
trade send
trade complete
wait 2
expect-request POST /api/v2/trading/logIngameTrade.php 503
delete
wait 20
load
wait 20m
expect-requests 1 POST /api/v2/trading/logIngameTrade.php 200
expect-log "Trade logged!"
EOF
)"
trades="$(state | jq -c --arg code "$code" '[.accounts[$code].trades[].trade_guid]')"
sent="$(jq -r 'select(.kind == "request" and (.url | contains("/logIngameTrade.php"))) | .body | fromjson | .trade_guid' \
  "$WORK/run-1.jsonl" | sort -u)"
expect_equal "trades the service holds" "$trades" "$(jq -c -n --arg guid "$sent" '[$guid]')"
expect_equal "trade log answers" "$(answers "$WORK/run-1.jsonl" /logIngameTrade.php | cut -d' ' -f2 | tr '\n' ' ')" "503 200 "
echo PASS
