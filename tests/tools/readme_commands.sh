#!/usr/bin/env bash
# Runs every ```sh block of README.md, tools/plexar-sim/README.md, tools/qvx-devservice/README.md
# and tools/plexar-sim/WRITING-SCENARIOS.md that is meant to be run, so a stale example fails the
# suite. A block is skipped when the line before it is "<!-- not run: REASON -->"; the line
# "<!-- run with a qvx-devservice on 8080 -->" starts one for the block. Each block runs with bash -euo pipefail in a fresh folder holding `build` (a link
# to the build tree) and copies of `scenarios/` and `docs/`, so paths written from the repository's
# root work and nothing is written into the tree, which is checked at the end.
# Environment: ROOT (the source tree), BUILD (the build tree), WORK (a fresh work folder).
set -euo pipefail
rm -rf "$WORK"
mkdir -p "$WORK"
# What the tree holds (tracked and untracked files, not the ignored build trees), by content.
tree_contents() { (cd "$ROOT" && git ls-files -co --exclude-standard -z | xargs -0 sha1sum); }
tree_contents >"$WORK/tree.before"

service_pid=""
stop_service() {
  if [ -n "$service_pid" ]; then
    kill "$service_pid" 2>/dev/null || true
    wait "$service_pid" 2>/dev/null || true
    service_pid=""
  fi
}
trap stop_service EXIT

blocks=0
failed=0
for readme in README.md tools/plexar-sim/README.md tools/qvx-devservice/README.md tools/plexar-sim/WRITING-SCENARIOS.md; do
  # Splits the file into blocks: block-N.sh, and block-N.mark holding the line before it.
  dir="$WORK/$(echo "$readme" | tr '/' '_')"
  mkdir -p "$dir"
  awk -v dir="$dir" '
    /^```sh$/ { n++; inside = 1; print previous > (dir "/block-" n ".mark"); next }
    /^```$/ && inside { inside = 0; next }
    inside { print > (dir "/block-" n ".sh") }
    NF { previous = $0 }
  ' "$ROOT/$readme"
  for block in "$dir"/block-*.sh; do
    [ -e "$block" ] || continue
    mark="$(cat "${block%.sh}.mark")"
    name="$readme $(basename "$block" .sh)"
    case "$mark" in
      "<!-- not run:"*) reason="${mark#<!-- not run: }"; echo "skipped $name: ${reason% -->}"; continue ;;
    esac
    if grep -q 'xvfb-run' "$block" && ! command -v xvfb-run >/dev/null; then
      echo "skipped $name: xvfb-run is not installed"
      continue
    fi
    run="$dir/$(basename "$block" .sh)"
    mkdir -p "$run/tmp"
    ln -s "$BUILD" "$run/build"
    cp -r "$ROOT/scenarios" "$ROOT/docs" "$run/"
    if [ "$mark" = "<!-- run with a qvx-devservice on 8080 -->" ]; then
      "$BUILD/bin/qvx-devservice" --port 8080 >"$run/service.log" 2>&1 &
      service_pid=$!
      for _ in $(seq 1 200); do
        grep -q '^qvx-devservice listening on' "$run/service.log" && break
        sleep 0.05
      done
    fi
    blocks=$((blocks + 1))
    if (cd "$run" && TMPDIR="$run/tmp" timeout 300 bash -euo pipefail "$block") >"$run/out" 2>&1; then
      echo "ran $name"
    else
      echo "FAILED $name (exit status $?):"
      sed 's/^/    /' "$block"
      echo "  its output, last 30 lines:"
      tail -n 30 "$run/out" | sed 's/^/    /'
      failed=1
    fi
    stop_service
  done
done

written="$(tree_contents | diff "$WORK/tree.before" - | grep '^[<>]' | head -n 5 || true)"
if [ -n "$written" ]; then
  echo "the blocks wrote into the tree:"
  echo "$written"
  failed=1
fi
[ "$blocks" -gt 0 ] || { echo "no block was run"; exit 1; }
[ "$failed" -eq 0 ] && echo "$blocks README blocks ran"
exit "$failed"
