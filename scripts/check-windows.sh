#!/usr/bin/env bash
# The Windows build and its suite under Wine (`make check-windows`): builds the `windows` preset
# (Quorvex.dll, plexarsdk.dll, plexar-sim.exe and the test programs, with mingw-w64) and the
# native qvx-devservice the Windows end-to-end runs talk to, then runs `ctest --preset windows`
# under wine64 in a network namespace of its own, with a fresh Wine prefix in the build tree and
# one wineserver for the run, started and stopped in that namespace (Wine's server owns every
# socket of its programs, so a server left from another run would keep them elsewhere).
# Usage: scripts/check-windows.sh   (installs what is missing, as `make deps` does)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build=$root/build-windows

# The tools: installed when missing; where installing is refused the run is skipped, saying so.
tools=(x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-objdump /usr/lib/wine/wine64 /usr/lib/wine/wineserver dpkg-source)
missing_tools() {
  local tool
  for tool in "${tools[@]}"; do
    command -v "$tool" >/dev/null || echo "$tool"
  done
}
if [ -n "$(missing_tools)" ] && ! bash scripts/install-deps.sh >&2; then
  echo "windows: SKIPPED, the Windows suite did not run: cannot install $(missing_tools | tr '\n' ' ')"
  exit 0
fi
if [ -n "$(missing_tools)" ]; then
  echo "windows: SKIPPED, the Windows suite did not run: $(missing_tools | tr '\n' ' ')missing after installing"
  exit 0
fi

QVX_IMGUI_SOURCE_DIR=$(bash scripts/fetch-imgui-source.sh)
export QVX_IMGUI_SOURCE_DIR

# The native service first: the Windows suite's end-to-end runs talk to it.
cmake --preset default >/dev/null
cmake --build --preset default --target qvx-devservice
cmake --preset windows >/dev/null
cmake --build --preset windows

prefix=$build/wine-prefix
rm -rf "$prefix"
mkdir -p "$prefix"
# In the namespace: loopback up, the run's wineserver (persistent for the run, so the test
# programs do not each start one), a fresh prefix, the suite, then the server stopped and waited
# for.
run_suite='
  set -u
  ip link set lo up
  export WINEPREFIX="$1" WINEDEBUG=-all
  /usr/lib/wine/wineserver -p
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || { echo "check-windows: wineboot failed" >&2; exit 1; }
  status=0
  ctest --preset windows || status=$?
  /usr/lib/wine/wineserver -k || true
  /usr/lib/wine/wineserver -w
  exit $status'
log=$build/check-windows.log
status=0
if [ "$(id -u)" -eq 0 ] && unshare -n true 2>/dev/null; then
  unshare -n bash -c "$run_suite" _ "$prefix" 2>&1 | tee "$log" || status=${PIPESTATUS[0]}
else
  echo "check-windows: no network namespace of its own (needs root): the suite shares this machine's ports"
  bash -c "${run_suite/ip link set lo up/}" _ "$prefix" 2>&1 | tee "$log" || status=${PIPESTATUS[0]}
fi

# What ran on Windows and what did not, and why.
finished=$(grep -cE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: ' "$log" || true)
skipped=$(grep -cE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .*\*\*\*Skipped' "$log" || true)
echo "windows: $((finished - skipped)) tests ran on Windows under Wine, $skipped skipped:"
grep -hE '^skipped on Windows: ' "$build/Testing/Temporary/LastTest.log" 2>/dev/null | sort -u | sed 's/^skipped on Windows: /  /' || true
exit "$status"
