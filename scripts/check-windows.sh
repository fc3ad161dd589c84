#!/usr/bin/env bash
# Compiles the plug-in for 64-bit Windows with Debian's mingw-w64 cross compiler, so nothing
# platform-specific slips into it unnoticed: every plug-in source (syntax and headers only: the
# libraries it links have no Windows build here), the exports' object (are the host's names marked
# for export?) and the version resource (scripts/check-windows-resource.sh).
# A compile check, not a Windows build: nothing is linked or run.
# Usage: scripts/check-windows.sh   (the tools come with `make deps`)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

cxx=x86_64-w64-mingw32-g++-posix
objcopy=x86_64-w64-mingw32-objcopy

fail() {
  echo "check-windows: $*" >&2
  exit 1
}

for tool in "$cxx" "$objcopy"; do
  command -v "$tool" >/dev/null || fail "$tool is missing; install it with 'make deps'"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Only the header-only libraries' folders: the rest of the Linux include tree (POSIX and glibc
# headers among it) must stay out of sight of the Windows compile.
mkdir "$work/include"
for entry in websocketpp asio asio.hpp nlohmann fmt imgui; do
  [ -e "/usr/include/$entry" ] || fail "/usr/include/$entry is missing; install it with 'make deps'"
  ln -s "/usr/include/$entry" "$work/include/$entry"
done

# The plug-in's own sources: not the substitute host, the tools, the tests or the benchmarks.
mapfile -t sources < <(find host core api inventory sync trade ws plugin -name '*.cpp' | sort)
[ "${#sources[@]}" -gt 0 ] || fail "no plug-in sources found under $root"

flags=(
  -std=c++17 -fsyntax-only -Wall -Wextra -Wpedantic -Wshadow -Werror
  -D_WIN32_WINNT=0x0A00
  -DASIO_STANDALONE -D_WEBSOCKETPP_CPP11_STL_ -D_WEBSOCKETPP_CPP11_THREAD_ -DFMT_HEADER_ONLY
  -I"$root" -isystem "$work/include" -isystem "$work/include/imgui"
)

# Two compiles at a time; each writes its diagnostics to its own log, reported once all are done.
mkdir "$work/logs"
export cxx work
printf '%s\n' "${sources[@]}" | xargs -P 2 -n 1 bash -c '
  source=${!#}
  log="$work/logs/${source//\//_}.log"
  "$cxx" "${@:1:$#-1}" "$source" >"$log" 2>&1 || echo "$source" >>"$work/failed"' _ "${flags[@]}"

if [ -s "$work/failed" ]; then
  mapfile -t failed < <(sort "$work/failed")
  for source in "${failed[@]}"; do
    echo "check-windows: $source does not compile for Windows:" >&2
    cat "$work/logs/${source//\//_}.log" >&2
  done
  fail "${#failed[@]} of ${#sources[@]} sources failed: ${failed[*]}"
fi

# The host finds the plug-in by the undecorated names of its C exports: the object must mark them
# for export from the DLL under exactly those names.
exports_object="$work/Exports.o"
"$cxx" "${flags[@]/-fsyntax-only/-c}" plugin/Exports.cpp -o "$exports_object" ||
  fail "plugin/Exports.cpp does not compile to a Windows object"
"$objcopy" -O binary --only-section=.drectve "$exports_object" "$work/drectve"
tr ' ' '\n' <"$work/drectve" >"$work/exported"
for export in '-export:"getPlugin"' '-export:"deleteMe"' '-export:"exports",data'; do
  grep -qxF -- "$export" "$work/exported" ||
    fail "plugin/Exports.cpp: the object lacks the DLL export $export"
done

bash scripts/check-windows-resource.sh

echo "windows: ${#sources[@]} sources and the version resource compile"
