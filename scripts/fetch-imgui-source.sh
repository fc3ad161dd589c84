#!/usr/bin/env bash
# Fetches Debian's own source package of Dear ImGui, of the version the installed libimgui-dev
# was built from, into a cache folder outside the tree, for the Windows build (the Linux build
# links Debian's static library). The system's apt configuration is left as it is: the deb-src
# entry, the package lists and the download live in the cache folder only. The unpacked headers
# must equal /usr/include/imgui, so both builds compile against the same Dear ImGui.
# Prints the unpacked source folder. Usage: scripts/fetch-imgui-source.sh [CACHE_DIR]
set -euo pipefail

cache=${1:-${QVX_CACHE_DIR:-/var/cache/quorvex}}
fail() {
  echo "fetch-imgui-source: $*" >&2
  exit 1
}

version=$(dpkg-query -W -f='${source:Version}' libimgui-dev 2>/dev/null) ||
  fail "libimgui-dev is not installed; install it with 'make deps'"
upstream=${version%-*}
source_dir=$cache/imgui-$version/imgui-$upstream

headers_match() {
  local header
  for header in imgui.h imgui_internal.h imconfig.h imstb_rectpack.h imstb_textedit.h imstb_truetype.h; do
    [ -f "/usr/include/imgui/$header" ] || continue
    cmp -s "$1/$header" "/usr/include/imgui/$header" || {
      echo "fetch-imgui-source: $1/$header differs from /usr/include/imgui/$header" >&2
      return 1
    }
  done
}

if [ ! -f "$source_dir/imgui.cpp" ]; then
  command -v dpkg-source >/dev/null || fail "dpkg-source is missing; install dpkg-dev with 'make deps'"
  apt_dir=$cache/apt
  mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$cache/imgui-$version"
  # The archive the system installs from, as a deb-src entry.
  uri=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n 1)
  uri=${uri:-http://deb.debian.org/debian}
  echo "deb-src $uri bookworm main" >"$apt_dir/sources.list"
  apt_options=(
    -o "Dir::Etc::SourceList=$apt_dir/sources.list"
    -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
    -o "Dir::State::Lists=$apt_dir/lists"
    -o "Dir::Cache=$apt_dir/cache"
  )
  mkdir -p "$apt_dir/cache/archives/partial"
  apt-get "${apt_options[@]}" -qq update || fail "cannot read the source package lists from $uri"
  (cd "$cache/imgui-$version" && apt-get "${apt_options[@]}" -qq source "imgui=$version" >/dev/null) ||
    fail "apt-get source imgui=$version failed"
  [ -f "$source_dir/imgui.cpp" ] || fail "the source package did not unpack to $source_dir"
fi

headers_match "$source_dir" || fail "Dear ImGui's source in $source_dir is not the installed headers' version"
echo "$source_dir"
