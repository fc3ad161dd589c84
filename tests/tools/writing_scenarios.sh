#!/usr/bin/env bash
# The cvar table of tools/plexar-sim/WRITING-SCENARIOS.md is what `console cvarlist` lists after
# the plug-in's load, row for row: name, default and description.
# Environment: SIM, PLUGIN, DOC (the page), WORK (a fresh work folder).
set -euo pipefail
rm -rf "$WORK"
mkdir -p "$WORK"
cd "$WORK"
printf 'wait 0.2\nconsole cvarlist\n' >cvarlist.scn
"$SIM" --plugin "$PLUGIN" --virtual-time --console-log console.log cvarlist.scn >out 2>&1 || { cat out; exit 1; }
# NAME = "VALUE"  DESCRIPTION  ->  | `NAME` | `VALUE` | DESCRIPTION |
sed -n 's/^\([^ ]*\) = "\(.*\)"  \(.*\)$/| `\1` | `\2` | \3 |/p' console.log | sort >listed
sed -n '/^## The plug-in.s cvars$/,/^## /p' "$DOC" | grep '^| `' | sort >documented
[ -s listed ] || { echo "cvarlist listed nothing:"; cat out; exit 1; }
if ! diff -u documented listed; then
  echo "the cvar table of $DOC differs from cvarlist (- the page, + cvarlist)"
  exit 1
fi
echo "$(wc -l <listed) cvars as documented"
