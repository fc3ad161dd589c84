#!/usr/bin/env bash
# A diff against a guid the service no longer has is answered "full": true; the plug-in then
# uploads the whole inventory.
source "$(dirname "$0")/lib.sh"
start_service

play link-and-full-sync.scn
old="$(service_guid)"
curl -sf -H 'Content-Type: application/json' -d "" "$url/dev/expire-guid?code=QVX-DEMO-1234" >/dev/null || fail "POST /dev/expire-guid"
[ "$(service_guid)" != "$old" ] || fail "the guid did not change"

play diff-then-resync.scn
log="$WORK/run-2.log"
expect_line "$log" "Requesting a diff sync at https://api.quorvex.com/api/v2/inventory/smartSync.php?lastRequest=$old"
# The full upload comes after the resync notice.
sed -n '/Full resync requested/,$p' "$log" | grep -qF "Requesting a full sync at" \
  || fail "no full sync after the resync notice"
expect_equal "service items after the resync" "$(service_items)" '[1001,2001]'
expect_equal "snapshot guid after the resync" "$(snapshot_guid)" "$(service_guid)"
expect_equal "smartSync answers" "$(state | jq -c '.requests.smartSync')" '{"200":3}'
echo "PASS"
