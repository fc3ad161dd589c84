#!/usr/bin/env bash
# After linking, the service holds what the simulated inventory holds, after a full and after a
# diff sync.
source "$(dirname "$0")/lib.sh"
start_service

play link-and-full-sync.scn
expect_line "$WORK/run-1.log" "Requesting a full sync at https://api.quorvex.com/api/v2/inventory/smartSync.php?lastRequest"
expect_equal "service items after the full sync" "$(service_items)" '[1001,1002]'
expect_equal "snapshot guid after the full sync" "$(snapshot_guid)" "$(service_guid)"
first_guid="$(service_guid)"

play diff-sync.scn
expect_line "$WORK/run-2.log" "Requesting a diff sync at https://api.quorvex.com/api/v2/inventory/smartSync.php?lastRequest=$first_guid"
expect_equal "service items after the diff sync" "$(service_items)" '[1001,2001]'
expect_equal "snapshot items after the diff sync" "$(jq -c '[.items[].InstanceID] | sort' "$(snapshot)")" '[1001,2001]'
expect_equal "snapshot guid after the diff sync" "$(snapshot_guid)" "$(service_guid)"
[ "$(service_guid)" != "$first_guid" ] || fail "the diff sync did not give a new guid"
expect_equal "smartSync answers" "$(state | jq -c '.requests.smartSync')" '{"200":2}'
echo "PASS"
