# Shared by the convergence tests (the service's copy catches up, no trade record is lost) and
# the soak: lib.sh of the end-to-end tests, plus the developer routes, scenarios written by the
# test itself, and the comparison of the game's inventory with the service's. Sourced; needs
# BUILD_DIR and WORK.
source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
code=QVX-DEMO-1234

# dev ROUTE [BODY]: POST to a developer route of the service (ROUTE with its query).
dev() {
  curl -sf -H 'Content-Type: application/json' -d "${2:-}" "$url$1" >/dev/null || fail "POST $1 ${2:-}"
}

# scenario NAME: the scenario on standard input becomes $WORK/NAME.scn; prints its path, for play.
scenario() {
  cat >"$WORK/$1.scn"
  echo "$WORK/$1.scn"
}

# The first lines of a first start: link the account, 0.5 s in (the start-up sync comes at 5 s).
link_lines() {
  printf '%s\n' 'wait 0.5' "ws-send --expect OK {\"UserCode\":\"$code\"}"
}

# inventory_difference GAME_FILE: nothing when the service holds exactly the products of
# GAME_FILE (written by `inventory save`); otherwise the counts and the first product that only
# one side holds, each way.
inventory_difference() {
  jq -S -c '.[]' "$1" | sort >"$WORK/game.items"
  state | jq -S -c --arg code "$code" '.accounts[$code].items[]' | sort >"$WORK/service.items"
  cmp -s "$WORK/game.items" "$WORK/service.items" && return 0
  echo "$(wc -l <"$WORK/game.items") items in the game, $(wc -l <"$WORK/service.items") at the service"
  echo "  first in the game only: $(comm -23 "$WORK/game.items" "$WORK/service.items" | head -n 1 | cut -c1-300)"
  echo "  first at the service only: $(comm -13 "$WORK/game.items" "$WORK/service.items" | head -n 1 | cut -c1-300)"
}

expect_same_inventory() {  # expect_same_inventory GAME_FILE
  local difference
  difference="$(inventory_difference "$1")"
  [ -z "$difference" ] || fail "the service's inventory differs from the game's: $difference"
}

# answers JOURNAL PATH: one line per answer to a request whose URL contains PATH, "AT STATUS URL".
answers() {
  jq -r --arg path "$2" 'select(.kind == "answer" and (.url | contains($path))) | "\(.at) \(.status) \(.url)"' "$1"
}

# The first start of most tests: link, one item received before the start-up sync, which uploads
# it; the game's inventory is then in $WORK/game.json and the service holds the same.
play_first_start() {
  play "$(scenario first-start <<SCN
$(link_lines)
item add {"id": 23, "instance": 1001}
wait 30
inventory save $WORK/game.json
SCN
)"
  expect_same_inventory "$WORK/game.json"
}

# plus_item FILE INSTANCE: the inventory of FILE (inventory save) with one more plain product, for
# a later start whose inventory changed while the game was not running.
plus_item() {
  jq --argjson instance "$2" '. + [{"ID": 5000, "SeriesID": 0, "TradeHold": 0, "InstanceID": $instance,
                                    "Quality": 0, "Attributes": []}]' "$1"
}
