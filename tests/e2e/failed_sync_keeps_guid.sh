#!/usr/bin/env bash
# A sync answered 500 is logged, and the next sync still diffs against the last accepted guid.
source "$(dirname "$0")/lib.sh"
start_service

play link-and-full-sync.scn
accepted="$(service_guid)"
expect_equal "snapshot guid after the full sync" "$(snapshot_guid)" "$accepted"

curl -sf -H 'Content-Type: application/json' -d 'smartSync=500x1' "$url/dev/fail" >/dev/null || fail "POST /dev/fail"
play diff-sync.scn
expect_line "$WORK/run-2.log" "500 on inventory sync!"
expect_equal "snapshot guid after the 500" "$(snapshot_guid)" "$accepted"
expect_equal "service items after the 500" "$(service_items)" '[1001,1002]'

play diff-sync-again.scn
expect_line "$WORK/run-3.log" "Requesting a diff sync at https://api.quorvex.com/api/v2/inventory/smartSync.php?lastRequest=$accepted"
expect_no_line "$WORK/run-3.log" "Requesting a full sync"
expect_equal "service items after the next diff" "$(service_items)" '[1001,2001,2002]'
expect_equal "smartSync answers" "$(state | jq -c '.requests.smartSync')" '{"200":2,"500":1}'
echo "PASS"
