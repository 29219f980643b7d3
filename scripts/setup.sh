#!/usr/bin/env bash
# Installs every Debian package that building, testing and the demo need.
# Idempotent: when everything is present it does nothing and prints nothing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libcurl4-openssl-dev zlib1g-dev libsqlite3-dev libcpp-httplib-dev libssl-dev
  libgtest-dev libgmock-dev
  clang libclang-rt-14-dev llvm-14
  xvfb xauth x11-utils imagemagick
  fonts-dejavu-core ca-certificates curl procps openssl
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  libz-mingw-w64-dev googletest wine64 wine
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
