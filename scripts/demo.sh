#!/usr/bin/env bash
# Sets up a fresh machine, builds Orlix and runs its main job on built-in material.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" release orlix_cli Orlix_VST3 Orlix_LV2 Orlix_Standalone
"$root/build/release/orlix" demo "$@"
