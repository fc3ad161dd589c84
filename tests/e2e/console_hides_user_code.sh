#!/usr/bin/env bash
# The demo's two starts link the account and find it again, yet the console (which players paste
# into support chats) never holds the whole user code: only its last characters.
source "$(dirname "$0")/lib.sh"
start_service --fail loadout=401x1

code=QVX-DEMO-1234
root="$here/../.."
# From the work folder, so that the demo's `settings png` writes its picture there.
cd "$WORK"
play "$root/scenarios/demo.scn"
play "$root/scenarios/demo-restart.scn"

grep -q "hidden_qvx_user_code \"$code\"" "$WORK/host/cfg/QVX_InventorySync.cfg" || fail "the code was not saved"
expect_line "$WORK/run-1.log" "new user code set:  -> …1234"
for run in 1 2; do
  ! grep -nF "$code" "$WORK/run-$run.log" || fail "console log $run holds the whole user code"
  ! jq -r 'select(.kind == "console") | .text' "$WORK/run-$run.jsonl" | grep -nF "$code" \
    || fail "journal $run holds the whole user code in a console line"
done
echo "PASS"
