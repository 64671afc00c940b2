#!/usr/bin/env bash
# The whole-processor benchmark of the Windows build under Wine next to the Linux build's,
# alternating the two in one sitting, with each figure's ratio Windows / Linux.
#   scripts/windows-speed.sh [rounds]   (after scripts/build.sh release and windows)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
rounds="${1:-2}"
export WINEPREFIX="$root/build/windows/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
args=(--benchmark_filter='wholeProcessor|plainCopy' --benchmark_repetitions=3
      --benchmark_report_aggregates_only=true --benchmark_format=csv)
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
for round in $(seq "$rounds"); do
  "$root/build/release/benchmarks/orlix_benchmarks" "${args[@]}" > "$out/linux-$round.csv" 2> /dev/null
  wine "$root/build/windows/benchmarks/orlix_benchmarks.exe" "${args[@]}" 2> /dev/null | tr -d '\r' > "$out/windows-$round.csv"
done
python3 - "$out" "$rounds" <<'PY'
import csv, glob, sys, statistics
folder, rounds = sys.argv[1], int(sys.argv[2])
def medians(system):
    figures = {}
    for path in sorted(glob.glob(f"{folder}/{system}-*.csv")):
        rows = [l for l in open(path) if l.startswith('name,') or l.startswith('"')]
        for row in csv.DictReader(rows):
            if row['name'].endswith('_median'):
                key = row['name'][:-len('_median')] + ' ' + row.get('label', '')
                figures.setdefault(key, []).append(1e9 * float(row['ns_per_stereo_frame']))  # seconds in CSV
    return {k: statistics.median(v) for k, v in figures.items()}
linux, windows = medians('linux'), medians('windows')
print(f"{'benchmark':60s} {'Linux ns':>9s} {'Windows ns':>11s} {'ratio':>6s}")
for name in linux:
    if name in windows:
        print(f"{name:60s} {linux[name]:9.1f} {windows[name]:11.1f} {windows[name] / linux[name]:6.2f}")
PY
