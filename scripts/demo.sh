#!/usr/bin/env bash
# The demo session (`make run`): starts qvx-devservice on a free port, plays scenarios/demo.scn
# and then scenarios/demo-restart.scn (a second start with the same host folder) in plexar-sim
# against it on virtual time (the requests are real; the waits cost nothing), and prints a summary
# of what the service received.
#
# Usage: scripts/demo.sh [BUILD_DIR]   (default: build; binaries in BUILD_DIR/bin, BUILD_DIR/lib)
# A Windows build (BUILD_DIR/bin/plexar-sim.exe) plays in real time under $DEMO_EMULATOR (Wine),
# against the native service $DEMO_SERVICE.
# The work folder (host folder, console logs, the settings picture) is $DEMO_DIR or a fresh
# folder under /tmp; it is kept and named at the end. Exit status 0 when every expectation held.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
sim="$build/bin/plexar-sim"
service="$build/bin/qvx-devservice"
plugin="$build/lib/libQuorvex.so"
run=()
time_flags=(--virtual-time)
if [ -e "$build/bin/plexar-sim.exe" ]; then
  sim="$build/bin/plexar-sim.exe"
  service="${DEMO_SERVICE:-}"
  plugin="$build/bin/Quorvex.dll"
  read -r -a run <<<"${DEMO_EMULATOR:?a Windows build needs DEMO_EMULATOR}"
  time_flags=()
fi
for file in "$sim" "$service" "$plugin"; do
  [ -e "$file" ] || { echo "demo: missing ${file:-the service} (build first: make build)" >&2; exit 2; }
done
for tool in curl jq; do
  command -v "$tool" >/dev/null || { echo "demo: $tool is needed (scripts/install-deps.sh)" >&2; exit 2; }
done

work="${DEMO_DIR:-$(mktemp -d /tmp/quorvex-demo.XXXXXX)}"
mkdir -p "$work"
rm -rf "$work/host"

source "$root/scripts/devservice.sh"
trap stop_devservice EXIT
trap 'exit 130' INT TERM

# The service refuses the first loadout upload (401), to show how the plug-in takes it.
start_devservice "$service" "$work/service.log" --fail loadout=401x1 || exit 1
echo "== qvx-devservice at $url"

failed=0
play() {  # play NAME SCENARIO
  local name="$1" scenario="$2"
  echo "== plexar-sim $(basename "$scenario")"
  # From the work folder, so that `settings png` writes its picture there.
  if ! (cd "$work" && "${run[@]}" "$sim" --plugin "$plugin" --host-dir "$work/host" --service-url "$url" "${time_flags[@]}" \
          --console-log "$work/$name.console.log" --journal-json "$work/$name.jsonl" "$scenario") \
       >"$work/$name.out" 2>&1; then
    echo "demo: $(basename "$scenario") failed:" >&2
    grep -E ' failed at |^plexar-sim: ' "$work/$name.out" >&2 || tail -n 5 "$work/$name.out" >&2
    failed=1
  fi
  # The host's lines, without the request headers and bodies.
  grep -E '^\[ *[0-9.]+\] (toast:|modal:|ws-send:|http[<>]|Requesting|Got guid|new user code|Plugin|Not syncing|Exited)|^modal:' \
    "$work/$name.out" | cut -c1-150 || true
}

play first "$root/scenarios/demo.scn"
[ "$failed" -eq 0 ] && play restart "$root/scenarios/demo-restart.scn"

if [ -f "$work/demo-settings.png" ]; then
  echo "== settings page as text (picture: $work/demo-settings.png)"
  sed -n '/^settings:$/,/^settings: picture/p' "$work/first.out" | sed '1d;$d' || true
fi

state="$(curl -sf "$url/dev/state")" || { echo "demo: GET /dev/state failed" >&2; exit 1; }
stop_devservice

echo
echo "== Summary"
echo "Requests per endpoint (status: count):"
jq -r '.requests | to_entries[] | "  \(.key): " + ([.value | to_entries[] | "\(.key) x\(.value)"] | join(", "))' <<<"$state"
echo "Partner checks:"
jq -r '.partnerChecks[]? | "  \(.tradingPlayerId) -> \(.status)"' <<<"$state"
echo "Toasts shown:"
grep -h 'toast:' "$work/first.out" "$work/restart.out" 2>/dev/null | sed 's/^\[ *[0-9.]*\] toast: /  /' || true
linked="$(jq -r '[.accounts | to_entries[] | select(.value.userId != "") | .key] | join(", ")' <<<"$state")"
echo "Linked user code (account the plug-in used): ${linked:-none}"
service_items="$(jq -c "[.accounts[\"${linked%%,*}\"].items[]?.InstanceID] | sort" <<<"$state")"
snapshot="$work/host/data/qvx-inventorysync/smartInventory.json"
plugin_items="$( [ -f "$snapshot" ] && jq -c '[.items[].InstanceID] | sort' "$snapshot" || echo none)"
echo "Items the service holds (instance ids):           $service_items (guid $(jq -r ".accounts[\"${linked%%,*}\"].guid" <<<"$state"))"
echo "Items in the simulated inventory at the last sync: $plugin_items (guid $( [ -f "$snapshot" ] && jq -r .guid "$snapshot"))"
if [ "$service_items" != "$plugin_items" ]; then
  echo "demo: the service's inventory differs from the simulated one" >&2
  failed=1
fi
echo "Work folder: $work"
if [ "$failed" -ne 0 ]; then
  echo "demo: FAILED" >&2
  exit 1
fi
echo "demo: OK"
