#!/usr/bin/env bash
# Builds uninstall.exe and its test programs with mingw-w64 and runs every test under Wine in a
# disposable prefix inside build/ (never ~/.wine).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake --preset mingw
cmake --build --preset mingw
ctest --preset mingw "$@"
