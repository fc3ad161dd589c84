#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, when they are missing.
# Idempotent: does nothing when every package is present. Must run as root to install.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ccache
  nlohmann-json3-dev libfmt-dev
  libwebsocketpp-dev libasio-dev
  libimgui-dev libstb-dev
  # plexar-sim --window: GLFW and OpenGL; its test runs it under Xvfb with Mesa's software
  # renderer and clicks with xdotool.
  libglfw3-dev libgl-dev libgl1-mesa-dri xvfb xauth xdotool
  libcurl4-openssl-dev
  libcli11-dev
  # plexar-sim --interactive: line editing (BSD licence), and tmux for its tests.
  libedit-dev tmux
  libcpp-httplib-dev libsqlite3-dev
  curl jq
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  # The Windows build (make windows, make check-windows): the cross compiler and windres, Wine
  # to run the suite, and dpkg-source to unpack Debian's source package of Dear ImGui.
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 dpkg-dev
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "error: these packages are missing and installing them needs root: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
