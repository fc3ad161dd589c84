#!/usr/bin/env bash
# Compiles the plug-in's Windows version resource (plugin/Quorvex.rc) with Debian's mingw-w64
# windres and checks what it carries: file and product version, in the string table and in the
# fixed part, are the version of plugin/Version.h, and both file names are "Quorvex.dll".
# Usage: scripts/check-windows-resource.sh   (exits 77, "skipped", when the tools are missing)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

windres=x86_64-w64-mingw32-windres
strings_tool=x86_64-w64-mingw32-strings
objcopy=x86_64-w64-mingw32-objcopy
dll=Quorvex.dll

fail() {
  echo "check-windows-resource: $*" >&2
  exit 1
}

for tool in "$windres" "$strings_tool" "$objcopy" cpp; do
  if ! command -v "$tool" >/dev/null; then
    echo "check-windows-resource: $tool is missing (install it with 'make deps'); skipped" >&2
    exit 77
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The version the resource must carry, from the one header it, the exports record and the build
# read.
version=$(printf '#include "plugin/Version.h"\nQUORVEX_VERSION_TEXT\n' | cpp -P -I"$root" -x c++ - | tr -d '" \n')
[[ "$version" =~ ^([0-9]+)\.([0-9]+)\.([0-9]+)\.([0-9]+)$ ]] ||
  fail "plugin/Version.h: QUORVEX_VERSION_TEXT gives '$version', not four numbers"
numbers=("${BASH_REMATCH[@]:1}")

resource="$work/Quorvex.res.o"
"$windres" -O coff plugin/Quorvex.rc -o "$resource" 2>"$work/windres.log" || {
  cat "$work/windres.log" >&2
  fail "plugin/Quorvex.rc does not compile with $windres"
}

# The string table, as "name=value" lines (the resource keeps each name before its value).
"$strings_tool" -el "$resource" | awk 'NR > 1 { print previous "=" $0 } { previous = $0 }' >"$work/strings"
for expected in "FileVersion=$version" "ProductVersion=$version" "InternalName=$dll" "OriginalFilename=$dll"; do
  grep -qxF "$expected" "$work/strings" || fail "plugin/Quorvex.rc: the resource lacks $expected"
done

# The fixed part: its signature, then file and product version as two pairs of 32-bit little-endian
# words (major << 16 | minor, patch << 16 | build).
le32() { printf '%08x' "$1" | sed 's/\(..\)\(..\)\(..\)\(..\)/\4\3\2\1/'; }
pair="$(le32 $(((numbers[0] << 16) | numbers[1])))$(le32 $(((numbers[2] << 16) | numbers[3])))"
"$objcopy" -O binary --only-section=.rsrc "$resource" "$work/rsrc.bin"
rsrc_hex=$(od -An -v -tx1 "$work/rsrc.bin" | tr -d ' \n')
[[ "$rsrc_hex" == *"bd04effe00000100${pair}${pair}"* ]] ||
  fail "plugin/Quorvex.rc: FILEVERSION and PRODUCTVERSION are not both $version"

echo "windows resource: version $version, file names $dll"
