#!/usr/bin/env bash
# Sets up a fresh machine, builds and runs every test.
#   scripts/test.sh [release|asan|tsan|windows] [ctest arguments...]
# GUI tests need a display: without one, the tests run under Xvfb.
# "windows" builds Linux and Windows and runs the Windows tests under Wine,
# against the Linux build where the two must agree.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
config="${1:-release}"
shift || true

"$root/scripts/setup.sh"
if [ "$config" = windows ]; then
  "$root/scripts/build.sh" release orlix_cli
  "$root/scripts/build.sh" windows
  run=("$root/scripts/windows-tests.sh" "$@")
else
  "$root/scripts/build.sh" "$config" orlix_tests orlix_cli Orlix_VST3 Orlix_LV2 Orlix_Standalone
  run=(ctest --test-dir "$root/build/$config" --output-on-failure -j "$(nproc)" "$@")
fi
if [ -z "${DISPLAY:-}" ]; then
  xvfb-run -a -s "-screen 0 1920x1080x24" "${run[@]}"
else
  "${run[@]}"
fi
