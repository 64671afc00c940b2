#!/usr/bin/env bash
# How closely `orlix learn` lands on its TARGET, by where it listens: synthesises
# clips of several kinds whose first 8 s are quieter or louder than the rest, learns
# each with --from 0 and with the default, renders the whole clip with the learned
# settings and prints the 95th-percentile gain reduction against Learn's TARGET.
#   scripts/learn-accuracy.sh [path/to/orlix]
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
orlix="${1:-$root/build/release/orlix}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# kind  source  sox synthesis of 8 s of the material
kinds=(
  "drums  Drum   synth 0.25 noise fade q 0.002 0.25 0.23 lowpass 6000 repeat 31"
  "bass   Bass   synth 8 sine 55 sine 82 tremolo 4 70 gain -6"
  "guitar Guitar synth 0.5 pluck A2 pluck E3 repeat 15"
  "keys   Keys   synth 8 sine 261 sine 329 sine 392 tremolo 0.7 40 gain -8"
  "vocal  Vocal  synth 8 sawtooth 220 gain -10 tremolo 5 30 lowpass 3000 tremolo 0.5 80"
)
# the first 8 s relative to the 16 s after them, in dB
starts=(-14 -8 8)

measure() { # file source listen-options...
  local file="$1" source="$2"
  shift 2
  local report
  report="$("$orlix" learn "$file" --source "$source" "$@" --out "$work/out.wav" --force 2>/dev/null)"
  local target applied
  target="$(sed -n "s/.*(Learn's \([-0-9.]*\) dB.*/\1/p" <<<"$report" | tail -n 1)"
  applied="$(sed -n 's/.*(95th percentile) \([-0-9.]*\) dB.*/\1/p' <<<"$report")"
  awk -v t="$target" -v a="$applied" 'BEGIN { printf "%6.2f %6.2f %+6.2f", t, a, a - t }'
}

printf "%-8s %6s   %-22s   %-22s\n" "" "start" "from the start" "default (auto)"
printf "%-8s %6s   %6s %6s %6s   %6s %6s %6s\n" kind "dB" target GR error target GR error
for entry in "${kinds[@]}"; do
  read -r kind source synthesis <<<"$entry"
  for start in "${starts[@]}"; do
    # shellcheck disable=SC2086 # the synthesis is a list of sox arguments
    sox -q -n -r 48000 -c 2 "$work/body.wav" $synthesis
    # Both parts 8 dB down first, so that a louder start does not clip.
    sox -q "$work/body.wav" "$work/rest.wav" gain -8 repeat 1
    sox -q "$work/body.wav" "$work/intro.wav" gain "$((start - 8))"
    sox -q "$work/intro.wav" "$work/rest.wav" "$work/clip.wav" norm -3
    printf "%-8s %6s   %s   %s\n" "$kind" "$start" "$(measure "$work/clip.wav" "$source" --from 0)" \
      "$(measure "$work/clip.wav" "$source")"
  done
done | tee "$work/table"

summary() { # column of the error, name
  awk -v c="$1" -v name="$2" '{ e = $c; a = e < 0 ? -e : e; n++; m += e
      w1 += a <= 1; w05 += a <= 0.5; w025 += a <= 0.25 }
    END { printf "%-16s within 1 dB %d of %d, 0.5 dB %d, 0.25 dB %d, mean error %+.2f dB\n",
          name, w1, n, w05, w025, m / n }' "$work/table"
}
summary 5 "from the start:"
summary 8 "default (auto):"
