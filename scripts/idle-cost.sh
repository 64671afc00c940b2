#!/usr/bin/env bash
# What an idle instance costs, as a share of one core: silence flowing at 48 kHz
# in 512-sample blocks, no window. The LV2 runs in console jalv on a private dummy
# JACK server next to two peers (x42 darc, LSP Compressor Stereo); the VST3 runs
# in orlix_idle_host, a JUCE host with a real-time audio thread, with 1 and 16
# instances. Prints the whole process and each thread that ran.
#   scripts/idle-cost.sh [SECONDS] [ROUNDS]
# ORLIX_LV2_DIR and ORLIX_VST3 choose other builds of the plug-in to compare.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-20}"
rounds="${2:-1}"
build="$root/build/release"
lv2_dir="${ORLIX_LV2_DIR:-$build/Orlix_artefacts/Release/LV2}"
vst3="${ORLIX_VST3:-$build/Orlix_artefacts/Release/VST3/Orlix.vst3}"

for tool in jackd jalv; do
  command -v "$tool" > /dev/null || { echo "idle-cost: $tool is missing: run scripts/setup.sh" >&2; exit 1; }
done

export JACK_DEFAULT_SERVER="orlix-idle-$$" JACK_NO_AUDIO_RESERVATION=1
export LV2_PATH="$lv2_dir:/usr/lib/lv2"
jackd -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p 512 > /dev/null 2>&1 &
jack_pid=$!
jalv_pid=""
trap 'kill $jalv_pid $jack_pid 2> /dev/null || true' EXIT
sleep 2

ticks() { awk '{ print $14 + $15 }' "$1/stat"; } # user and system time, in clock ticks
percent() { awk -v t="$1" -v hz="$(getconf CLK_TCK)" -v s="$seconds" 'BEGIN { printf "%.2f %%", 100 * t / hz / s }'; }

measure_lv2() { # name uri
  local name="$1" uri="$2"
  # jalv reads commands from its standard input and quits at its end: keep it open.
  sleep $((seconds + 30)) | jalv -n "idle-$name" "$uri" > /dev/null 2>&1 &
  jalv_pid=$!
  sleep 3
  local proc="/proc/$jalv_pid" total0 total1 task
  declare -A before
  total0=$(ticks "$proc")
  for task in "$proc"/task/*; do before[${task##*/}]=$(ticks "$task"); done
  sleep "$seconds"
  total1=$(ticks "$proc")
  echo "LV2 $name in jalv: process $(percent $((total1 - total0))) of one core"
  for task in "$proc"/task/*; do
    local used=$(($(ticks "$task") - ${before[${task##*/}]:-0}))
    [ "$used" -gt 0 ] && echo "  thread ${task##*/}: $(percent "$used")"
  done
  kill "$jalv_pid"
  wait "$jalv_pid" 2> /dev/null || true
  jalv_pid=""
}

for ((round = 1; round <= rounds; round++)); do
  measure_lv2 darc "http://gareus.org/oss/lv2/darc#stereo"
  measure_lv2 lsp "http://lsp-plug.in/plugins/lv2/compressor_stereo"
  measure_lv2 orlix "urn:halvane:orlix"
done
for instances in 1 16; do
  "$build/benchmarks/orlix_idle_host" --plugin "$vst3" --instances "$instances" --seconds "$seconds"
done
