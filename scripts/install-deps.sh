#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian machine (as root, or with sudo).
set -euo pipefail
packages=(cmake make g++-mingw-w64-x86-64-posix mingw-w64-tools googletest
          wine wine64 fonts-wine xvfb xauth xdotool fp-utils-3.2.2 python3
          clang lld)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}" >/dev/null
