#!/usr/bin/env bash
# Runs the Windows build's tests under Wine, next to the Linux build:
#  1. the Linux build writes the files the cross-platform tests compare against;
#  2. CTest runs the Windows test suite under Wine, in a Wine prefix inside the build folder;
#  3. the Linux build renders the state the Windows VST3 saved, which must sound as it did there,
#     and orlix.exe renders as orlix does.
# Called by scripts/test.sh windows, after both builds.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
linux="$root/build/release/orlix"
windows="$root/build/windows"
cross="$windows/cross-platform"

export WINEPREFIX="$windows/wine-prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot --init > /dev/null 2>&1
  # As a current Windows reports itself.
  wine reg add 'HKCU\Software\Wine' /v Version /d win10 /f > /dev/null 2>&1
  wineserver --wait
fi

# Same samples, to the bit: the data chunks of two 32-bit float WAV files.
same_audio() {
  python3 - "$1" "$2" <<'PY'
import struct, sys
def data(path):
    b = open(path, 'rb').read()
    i = 12
    while i + 8 <= len(b):
        cid, n = b[i:i + 4], struct.unpack('<I', b[i + 4:i + 8])[0]
        if cid == b'data':
            return b[i + 8:i + 8 + n]
        i += 8 + n + (n & 1)
    sys.exit(f"no audio in {path}")
a, b = data(sys.argv[1]), data(sys.argv[2])
if a != b:
    sys.exit(f"{sys.argv[1]} and {sys.argv[2]} differ ({len(a)} and {len(b)} bytes of samples)")
PY
}

rm -rf "$cross" && mkdir -p "$cross"
sox -n -r 48000 -c 2 -b 32 -e floating-point "$cross/drums.wav" synth 5 pinknoise tremolo 4 90 gain -8
sox -n -r 48000 -c 2 -b 32 -e floating-point "$cross/tone.wav" synth 4 sine 110:880 gain -4
sox "$cross/drums.wav" "$cross/tone.wav" "$cross/programme.wav"
"$linux" learn "$cross/programme.wav" --source Drum --nuance Loop --save-state "$cross/linux.state" > /dev/null
"$linux" render "$cross/programme.wav" "$cross/linux-render.wav" --float --state "$cross/linux.state" \
  --set driveOn=on --set drive=40 > /dev/null
"$linux" snapshot "$cross/window-linux.png" --state "$cross/linux.state" > /dev/null

export ORLIX_CROSS_PLATFORM_DIR="$cross"
ctest --test-dir "$windows" --output-on-failure -j 2 "$@"

"$linux" render "$cross/programme.wav" "$cross/linux-of-windows-state.wav" --float --state "$cross/windows.state" > /dev/null
same_audio "$cross/windows-render.wav" "$cross/linux-of-windows-state.wav"
echo "windows: a state saved by the Windows VST3 sounds the same in the Linux build"

wine "$windows/orlix.exe" render "$cross/programme.wav" "$cross/exe-render.wav" --float \
  --state "$cross/linux.state" --set driveOn=on --set drive=40 > /dev/null
same_audio "$cross/exe-render.wav" "$cross/linux-render.wav"
echo "windows: orlix.exe renders what orlix renders"

# Formats it cannot write are refused in one line that names the ones it can.
if flac_out=$(wine "$windows/orlix.exe" render "$cross/programme.wav" "$cross/x.flac" 2>&1); then
  echo "windows: orlix.exe wrote a FLAC file it should have refused" >&2
  exit 1
fi
flac_out=$(printf '%s' "$flac_out" | tr -d '\r')
if [ "$(printf '%s\n' "$flac_out" | wc -l)" -ne 1 ] || ! grep -q "WAV (.wav) or AIFF" <<< "$flac_out"; then
  echo "windows: orlix.exe should refuse a FLAC output name in one line naming its formats, said: $flac_out" >&2
  exit 1
fi
wine "$windows/orlix.exe" render "$cross/programme.wav" "$cross/programme-out.aiff" --state "$cross/linux.state" > /dev/null
echo "windows: orlix.exe refuses what it cannot write in one line and writes AIFF"

wine "$windows/orlix.exe" snapshot "$cross/snapshot-windows.png" --state "$cross/linux.state" > /dev/null
[ -s "$cross/snapshot-windows.png" ] || { echo "windows: orlix.exe snapshot wrote nothing" >&2; exit 1; }
echo "windows: orlix.exe snapshot writes the window's picture"
