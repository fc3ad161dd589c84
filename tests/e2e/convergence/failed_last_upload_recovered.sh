#!/usr/bin/env bash
# The last upload of a session is answered 500 and nothing changes after it: the plug-in tries it
# again 30 s later, and the service's copy ends right.
source "$(dirname "$0")/lib.sh"
start_service

play_first_start

# The next start's inventory holds one more item, there before the start-up sync (no hook), so
# that sync is the only upload; it gets the 500.
plus_item "$WORK/game.json" 2001 >"$WORK/game-2.json"
dev /dev/fail smartSync=500x1
play "$(scenario after-500 <<EOF
inventory load $WORK/game-2.json
wait 3m
inventory save $WORK/game.json
EOF
)"
answers="$(answers "$WORK/run-2.jsonl" /smartSync.php)"
expect_equal "smartSync statuses" "$(cut -d' ' -f2 <<<"$answers" | tr '\n' ' ')" "500 200 "
gap="$(awk 'NR == 1 { first = $1 } NR == 2 { print $1 - first }' <<<"$answers")"
awk -v gap="$gap" 'BEGIN { exit !(gap >= 30) }' || fail "the retry came $gap s after the 500, before 30 s"
expect_same_inventory "$WORK/game.json"
echo PASS
