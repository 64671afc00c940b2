#!/usr/bin/env bash
# Two builds of the benchmarks, alternating in one sitting, each figure as a ratio to x42 darc
# timed in the same run: how a change moves Orlix against the peer on a busy machine.
#   scripts/peer-speed.sh BEFORE_BENCHMARKS AFTER_BENCHMARKS [rounds] [filter]
# Each run interleaves its repetitions at random; a figure is the lowest of its repetitions
# (the least disturbed), and the ratio to darc is taken within each run, then the median
# over the rounds. The host-side figures (hostedVst3) load the VST3 each benchmark build was
# made with, or BEFORE_VST3 and AFTER_VST3 when given (paths to Orlix.vst3 bundles).
set -euo pipefail

before="$1"
after="$2"
rounds="${3:-3}"
filter="${4:-wholeProcessor/./-1|wholeProcessor/3/[0-3]}"
args=(--benchmark_filter="peerDarc|$filter" --benchmark_repetitions=5
      --benchmark_enable_random_interleaving=true --benchmark_format=csv)
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
for round in $(seq "$rounds"); do
  ORLIX_BENCHMARK_VST3="${BEFORE_VST3:-}" "$before" "${args[@]}" > "$out/before-$round.csv" 2> /dev/null
  ORLIX_BENCHMARK_VST3="${AFTER_VST3:-}" "$after" "${args[@]}" > "$out/after-$round.csv" 2> /dev/null
done
python3 - "$out" "$rounds" <<'PY'
import csv, glob, sys, statistics
folder, rounds = sys.argv[1], int(sys.argv[2])
def ratios(build):
    result = {}
    for path in sorted(glob.glob(f"{folder}/{build}-*.csv")):
        rows = [l for l in open(path) if l.startswith('name,') or l.startswith('"')]
        lowest = {}
        for row in csv.DictReader(rows):
            name = row['name']
            if name.endswith(('_mean', '_median', '_stddev', '_cv')) or not row.get('ns_per_stereo_frame'):
                continue
            key = row.get('label') or name
            value = float(row['ns_per_stereo_frame'])
            lowest[key] = min(lowest.get(key, value), value)
        # Figures timed as a host sees them go against darc timed the same way.
        peers = {False: lowest.get('x42 darc'), True: lowest.get('x42 darc (hosted)')}
        for key, value in lowest.items():
            peer = peers[key.endswith(' (hosted)')]
            if peer:
                result.setdefault(key, []).append(value / peer)
    return {k: statistics.median(v) for k, v in result.items()}
before, after = ratios('before'), ratios('after')
print(f"{'benchmark (x darc)':40s} {'before':>8s} {'after':>8s}")
for name in after:
    print(f"{name:40s} {before.get(name, float('nan')):8.2f} {after[name]:8.2f}")
PY
