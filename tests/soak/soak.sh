#!/usr/bin/env bash
# The soak: soak.sh SEED HOURS plays a seeded, randomised session of HOURS simulated hours
# (qvx_soak_scenario writes it) in plexar-sim on virtual time against a qvx-devservice that
# fails about a tenth of the requests (500, 503, 429/408, no answer, answer lost after serving,
# delays) and now and then expires the guid. The session ends with 3 quiet simulated hours, faults
# still on: at least 18 tries of whatever is pending, as retries come at most 10 min apart. Then:
#   - the service's inventory equals the game's, item for item;
#   - every trade completed with logging on is in the service's trade log exactly once, and none
#     completed with logging off;
#   - no two uploads were less than 10 s apart;
#   - no console line came while the plug-in was deleted (from a destroyed object), and no
#     exception reached a boundary.
# It prints its seed first; a failure prints the seed and the first divergence.
# Needs BUILD_DIR (the CMake binary folder) and WORK (a folder for this run, emptied).
# SOAK_DELAY_MS: the range of the injected delays (default 20-300; longer ones cost wall time,
# and one over the host's 10 s time-out is a lost answer, which "lose" already covers).
source "$(dirname "$0")/../e2e/convergence/lib.sh"
seed="${1:?usage: soak.sh SEED HOURS}"
hours="${2:?usage: soak.sh SEED HOURS}"
began="$(date +%s.%N)"
echo "soak: seed $seed, $hours simulated hours, files in $WORK"

diverged() {
  fail "soak seed $seed ($hours h): $*
  rerun: make soak SEED=$seed HOURS=$hours"
}

"$BUILD_DIR/bin/qvx_soak_scenario" --seed "$seed" --hours "$hours" --work "$WORK" \
  || fail "qvx_soak_scenario could not write the session"

start_service --seed "$seed" \
  --random-fault "smartSync=0.1:500,503,429,drop,lose,delay" \
  --random-fault "logIngameTrade=0.1:500,503,408,429,drop,lose,delay" \
  --random-fault "toggleSync=0.1:500,503,drop,lose,delay" \
  --random-fault "validateTrader=0.1:500,503,drop,delay" \
  --random-delay "${SOAK_DELAY_MS:-20-300}" --expire-guid-rate 0.03

sim_status=0
"$sim" --plugin "$plugin" --host-dir "$WORK/host" --service-url "$url" --virtual-time \
  --console-log "$WORK/console.log" --journal-json "$WORK/journal.jsonl" "$WORK/soak.scn" \
  >"$WORK/sim.out" 2>&1 || sim_status=$?
if [ "$sim_status" -ne 0 ]; then
  tail -n 30 "$WORK/sim.out" >&2
  diverged "plexar-sim exited with status $sim_status"
fi

state >"$WORK/state.json" || fail "GET /dev/state"
journal="$WORK/journal.jsonl"

difference="$(inventory_difference "$WORK/game-inventory.json")"
stop_devservice
[ -z "$difference" ] || diverged "the service's inventory differs from the game's: $difference
  the last uploads answered (virtual seconds, status, URL):
$(answers "$journal" /smartSync.php | tail -n 5 | sed 's/^/    /')"

# Trades are told apart by what the partner gave: fresh instance ids in every trade.
trade_problem="$(jq -n -r --slurpfile expected "$WORK/expected.json" --slurpfile state "$WORK/state.json" \
  --arg code "$code" '
  ([$state[0].accounts[$code].trades[] | [.remote_data.items[].InstanceID] | sort]) as $logged
  | ([$expected[0].loggedTrades[] | select(([.remoteInstances[]] | sort) as $key
        | ([$logged[] | select(. == $key)] | length) != 1)
      | "trade \(.number) (at \(.at) s, with \(.partner), partner gave \(.remoteInstances)) completed with logging on is in the service'"'"'s log \(([.remoteInstances[]] | sort) as $key | [$logged[] | select(. == $key)] | length) times"]
    + [$expected[0].unloggedTrades[] | select(([.remoteInstances[]] | sort) as $key | $logged | index([$key]))
      | "trade \(.number) (at \(.at) s) completed with logging off is in the service'"'"'s log"])
  | first // empty')"
[ -z "$trade_problem" ] || diverged "$trade_problem"

upload_problem="$(jq -s -r '[.[] | select(.kind == "request" and (.url | contains("/smartSync.php")))]
  | [range(1; length) as $i | select(.[$i].at - .[$i - 1].at < 9.999)
     | "uploads \(.[$i - 1].at) s and \(.[$i].at) s are less than 10 s apart"] | first // empty' "$journal")"
[ -z "$upload_problem" ] || diverged "$upload_problem"

# Between "soak-deleted-N" and "soak-loading-N", and after "soak-end", the plug-in is gone.
late_line="$(jq -s -r '[foreach (.[] | select(.kind == "console")) as $line ({gone: false, hit: null};
      if ($line.text | test("^0 cvars starting with soak-(deleted-[0-9]+|end)$")) then .gone = true | .hit = null
      elif ($line.text | test("^0 cvars starting with soak-loading-[0-9]+$")) then .gone = false | .hit = null
      elif .gone then .hit = "\($line.at) s: \($line.text)"
      else .hit = null end; .hit) | select(. != null)] | first // empty' "$journal")"
[ -z "$late_line" ] || diverged "a console line while the plug-in was deleted, at $late_line"

exception="$(jq -r 'select(.kind == "console" and (.text | test("^(Unknown )?[Ee]xception in ")))
                    | "\(.at) s: \(.text)"' "$journal" | head -n 1)"
[ -z "$exception" ] || diverged "an exception reached a boundary, at $exception"

# Figures.
wall="$(awk -v a="$began" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')"
jq -r --slurpfile state "$WORK/state.json" '
  "events: \(.events) (\(.counts | to_entries | map("\(.key) \(.value)") | join(", "))), " +
  "\(.initialItems) items at the start, \(.simulatedSeconds / 3600 * 100 | round / 100) simulated hours" ,
  "faults injected: \($state[0].injectedFaults.total // "unknown") (\($state[0].injectedFaults.byEndpoint // {} | tojson))",
  "service answers: \($state[0].requests | tojson)"' "$WORK/expected.json"
jq -s -r '"requests: \(map(select(.kind == "request")) | length), uploads: \(map(select(.kind == "request" and (.url | contains("/smartSync.php")))) | length) (\(map(select(.kind == "request" and (.url | contains("/smartSync.php?lastRequest=")))) | length) diffs), trade logs sent: \(map(select(.kind == "request" and (.url | contains("/logIngameTrade.php")))) | length), answers with no status: \(map(select(.kind == "answer" and .status == 0)) | length)"' "$journal"
printf 'PASS soak seed %s (%s h), wall time %.1f s\n' "$seed" "$hours" "$wall"
