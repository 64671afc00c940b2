#!/usr/bin/env bash
# Makes what a user installs.
#   scripts/package.sh windows   build/Orlix-1.0.1-windows-x64.zip: the VST3 bundle,
#                                orlix.exe and how to install them
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
target="${1:-}"
version="1.0.1"

package_windows() {
  "$root/scripts/build.sh" windows Orlix_VST3 orlix_cli
  local build="$root/build/windows" stage name="Orlix-$version-windows-x64"
  stage="$(mktemp -d)"
  trap 'rm -rf "$stage"' RETURN
  mkdir -p "$stage/$name"
  cp -r "$build/Orlix_artefacts/Release/VST3/Orlix.vst3" "$stage/$name/"
  cp "$build/orlix.exe" "$stage/$name/"
  # Symbols are for debugging here, not for users' machines.
  x86_64-w64-mingw32-strip "$stage/$name/orlix.exe" "$stage/$name/Orlix.vst3/Contents/x86_64-win/Orlix.vst3"
  cat > "$stage/$name/INSTALL.txt" <<TEXT
Orlix $version for 64-bit Windows - adaptive compressor by Halvane Audio

The plug-in
  Copy the folder Orlix.vst3 into
      C:\\Program Files\\Common Files\\VST3
  (administrator rights are needed there), then let your host rescan its plug-ins.
  Orlix appears under Fx / Dynamics.

The command-line tool
  orlix.exe learns and renders audio files without a host, for example:
      orlix.exe learn vocal.wav --source Vocal --nuance Lead --out vocal-comp.wav
      orlix.exe render mix.wav mix-out.wav --state vocal.state
      orlix.exe info
  On Windows it reads and writes WAV (with RF64) and AIFF.
  "orlix.exe COMMAND --help" lists every option.

Both need nothing else installed: they use only Windows' own libraries.
TEXT
  sed -i 's/$/\r/' "$stage/$name/INSTALL.txt"
  rm -f "$root/build/$name.zip"
  (cd "$stage" && zip -q -r -X "$root/build/$name.zip" "$name")
  echo "$root/build/$name.zip"
}

case "$target" in
  windows) package_windows ;;
  *) echo "package: say what to package: windows" >&2; exit 2 ;;
esac
