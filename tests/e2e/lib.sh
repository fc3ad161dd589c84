# Shared by the end-to-end test scripts: a qvx-devservice process, plexar-sim runs against it with
# one host folder, and checks on /dev/state and the console log. Sourced; needs BUILD_DIR (the
# CMake binary folder) and WORK (an empty folder for this test).
#
# The runs are on virtual time: the service is real and every request goes over real HTTP, and the
# clock holds while one is in flight, so what the plug-in does is the same as in real time, only
# the waits cost nothing. compare_virtual_and_real_time.sh is the one test that plays in real
# time, to show exactly that.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
sim="$BUILD_DIR/bin/plexar-sim"
plugin="$BUILD_DIR/lib/libQuorvex.so"
service_bin="$BUILD_DIR/bin/qvx-devservice"
rm -rf "$WORK"
mkdir -p "$WORK"
runs=0

fail() { echo "FAIL: $*" >&2; exit 1; }

source "$here/../../scripts/devservice.sh"
trap stop_devservice EXIT

start_service() {  # start_service [FLAG...]
  start_devservice "$service_bin" "$WORK/service.log" "$@" || fail "qvx-devservice did not start"
}

# play SCENARIO [FLAG...]: one start of the game with the test's host folder (SCENARIO in
# scenarios/, or a path starting with '/'), on virtual time
# unless a FLAG says --real-time; the console lines are in $WORK/run-N.log (N counts from 1), the
# journal in $WORK/run-N.jsonl, the host's output in $WORK/run-N.out.
play() {
  local scenario="$1" time=--virtual-time
  shift
  [ "${scenario#/}" != "$scenario" ] || scenario="$here/scenarios/$scenario"
  if [ "${1:-}" = --real-time ]; then
    time=""
    shift
  fi
  runs=$((runs + 1))
  if ! "$sim" --plugin "$plugin" --host-dir "$WORK/host" --service-url "$url" $time "$@" \
       --console-log "$WORK/run-$runs.log" --journal-json "$WORK/run-$runs.jsonl" \
       "$scenario" >"$WORK/run-$runs.out" 2>&1; then
    tail -n 20 "$WORK/run-$runs.out" >&2
    fail "plexar-sim $(basename "$scenario") failed"
  fi
}

state() { curl -sf "$url/dev/state"; }

# The instance ids the service holds for the demo account, sorted, as compact JSON.
service_items() { state | jq -c '[.accounts["QVX-DEMO-1234"].items[].InstanceID] | sort'; }
service_guid() { state | jq -r '.accounts["QVX-DEMO-1234"].guid'; }
snapshot() { echo "$WORK/host/data/qvx-inventorysync/smartInventory.json"; }
snapshot_guid() { jq -r .guid "$(snapshot)"; }

expect_equal() {  # expect_equal WHAT ACTUAL EXPECTED
  [ "$2" = "$3" ] || fail "$1: got $2, expected $3"
}

expect_line() {  # expect_line LOG TEXT: a line of LOG contains TEXT
  grep -qF -- "$2" "$1" || fail "no line of $(basename "$1") contains: $2"
}

expect_no_line() {
  ! grep -qF -- "$2" "$1" || fail "a line of $(basename "$1") contains: $2"
}
