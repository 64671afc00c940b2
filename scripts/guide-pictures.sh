#!/usr/bin/env bash
# Makes the pictures of the window that docs/guide.md shows, with `orlix snapshot`.
#   scripts/guide-pictures.sh [FOLDER]
# Writes into docs/pictures unless a FOLDER is given; ORLIX names the tool to use
# (default: build/release/orlix, built first). Run it after the window changes and
# commit the pictures: a test compares them with what this script makes.
# The open menu is laid out on a display: without one, the script runs under Xvfb.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1920x1080x24" "$0" "$@"
fi
out="${1:-$root/docs/pictures}"
if [ -z "${ORLIX:-}" ]; then
  "$root/scripts/build.sh" release orlix_cli > /dev/null
  ORLIX="$root/build/release/orlix"
fi
mkdir -p "$out"

picture() {
  local name="$1"
  shift
  "$ORLIX" snapshot "$out/$name" "$@" > /dev/null
}

picture window.png
picture learn-listening.png --set source=Drum --set nuance=Loop --learning 40
picture learn-done.png --learn-demo
picture drive-on.png --learn-demo --set driveOn=on --tooltip XFMR
picture source-menu.png --menu source
picture feedback.png --feedback
