#!/usr/bin/env bash
# qvx_soak_scenario: a seed gives the same session every time and another seed another one; the
# session is one plexar-sim accepts, holds at least 2,000 events a simulated day, leaves the
# inventory sync on for its quiet end, and lists every trade it completes once.
set -euo pipefail
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$WORK"
mkdir -p "$WORK/a" "$WORK/b" "$WORK/c"
gen="$BUILD_DIR/bin/qvx_soak_scenario"
"$gen" --seed 11 --hours 24 --work "$WORK/a"
"$gen" --seed 11 --hours 24 --work "$WORK/b"
"$gen" --seed 12 --hours 24 --work "$WORK/c"
sed "s|$WORK/b|$WORK/a|g" "$WORK/b/soak.scn" | cmp -s - "$WORK/a/soak.scn" || fail "seed 11 gave two sessions"
cmp -s "$WORK/a/initial-inventory.json" "$WORK/b/initial-inventory.json" || fail "seed 11 gave two inventories"
! cmp -s "$WORK/a/initial-inventory.json" "$WORK/c/initial-inventory.json" || fail "seeds 11 and 12 gave one inventory"
"$BUILD_DIR/bin/plexar-sim" --check "$WORK/a/soak.scn" || fail "plexar-sim refuses the session"

expected="$WORK/a/expected.json"
[ "$(jq '.events >= 2000' "$expected")" = true ] || fail "only $(jq .events "$expected") events"
[ "$(jq '.counts | [.received, .removed, .trades, .restarts, .manualSyncs, .inventorySyncToggles, .tradeLoggingToggles] | all(. > 0)' "$expected")" = true ] \
  || fail "an event kind never happens: $(jq -c .counts "$expected")"
[ "$(jq '(.loggedTrades | length) + (.unloggedTrades | length) == .counts.trades' "$expected")" = true ] \
  || fail "the trades listed do not add up to the trades completed"
# The switch as the session leaves it: console lines set it, clicks flip it.
last_on="$(grep -E '^(console qvx_inventorysync_enable [01]|settings click Enable inventory sync)$' "$WORK/a/soak.scn" \
  | awk '/console/ { on = $3 } /settings/ { on = 1 - on } BEGIN { on = 1 } END { print on }')"
[ "$last_on" = 1 ] || fail "the session ends with the inventory sync off"
"$gen" --seed 1 --hours 0 --work "$WORK/a" 2>/dev/null && fail "0 hours accepted"
"$gen" --seed x --hours 1 --work "$WORK/a" 2>/dev/null && fail "a seed that is no number accepted"
echo PASS
