#!/usr/bin/env bash
# Installs everything the build needs on a fresh Debian 12 machine:
#  - bookworm packages through the system's apt (its sources are never changed);
#  - JUCE 8 and the Inter variable font, downloaded (never installed) from the
#    newer Debian suite with a private apt configuration, checked against the
#    sums in scripts/deps.sha256 and unpacked into .deps/.
# A second run finds everything in place and does nothing.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
deps="$root/.deps"
sums="$root/scripts/deps.sha256"
suite="trixie"

packages=(
  cmake ninja-build g++ pkg-config ccache git
  libasound2-dev libcurl4-openssl-dev libfreetype-dev libfontconfig1-dev
  libx11-dev libxext-dev libxinerama-dev libxrandr-dev libxcursor-dev libxcomposite-dev
  libgl-dev libgtest-dev libgmock-dev libbenchmark-dev libebur128-dev
  libpng-dev libjpeg-dev zlib1g-dev
  libsndfile1-dev liblilv-dev lv2-dev sordi
  sox libsox-fmt-mp3 flac opus-tools
  xvfb xauth python3 python3-fonttools
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_packages() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "setup: installing ${missing[*]}"
  as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# The first Debian archive entry the machine already uses, in either source format.
debian_mirror() {
  local uri=""
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    uri=$(awk '/^URIs:/ { print $2; exit }' /etc/apt/sources.list.d/debian.sources)
  fi
  if [ -z "$uri" ]; then
    uri=$(grep -hE '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null \
          | grep -v security | sed -E 's/^deb (\[[^]]*\] )?//' | awk '{ print $1; exit }')
  fi
  [ -n "$uri" ] || { echo "setup: no Debian archive entry found in the apt sources" >&2; exit 1; }
  echo "$uri"
}

# Downloads the .deb files named in deps.sha256 through a private apt
# configuration that knows only the newer suite.
download_debs() {
  local apt_dir="$deps/apt" mirror
  mirror=$(debian_mirror)
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$deps/debs"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror $suite main" > "$apt_dir/sources.list"
  local opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=-"
              -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
              -o "APT::Sandbox::User=root")
  apt-get "${opts[@]}" update -q
  local wanted=()
  while read -r _ file; do
    local name="${file%%_*}" rest="${file#*_}"
    local version="${rest%%_*}"
    wanted+=("$name=${version//%3a/:}")
  done < "$sums"
  (cd "$deps/debs" && apt-get "${opts[@]}" download "${wanted[@]}")
}

verify_debs() {
  (cd "$deps/debs" && sha256sum --quiet -c "$sums")
}

unpack() {
  local dest="$1" deb
  shift
  rm -rf "$dest.tmp" && mkdir -p "$dest.tmp"
  for deb in "$@"; do dpkg-deb -x "$deps/debs/$deb" "$dest.tmp"; done
  rm -rf "$dest" && mv "$dest.tmp" "$dest"
}

fetch_third_party() {
  local juce="$deps/juce-8.0.6" inter="$deps/inter-4.1"
  [ -f "$juce/.complete" ] && [ -f "$inter/.complete" ] && return 0
  if ! verify_debs 2>/dev/null; then
    download_debs
    verify_debs || { echo "setup: checksum mismatch for the downloaded packages" >&2; exit 1; }
  fi
  unpack "$juce" juce-modules-source_8.0.6+ds-2_amd64.deb juce-modules-source-data_8.0.6+ds-2_all.deb
  touch "$juce/.complete"
  unpack "$inter" fonts-inter-variable_4.1+ds-1_all.deb
  touch "$inter/.complete"
}

install_packages
fetch_third_party
