#!/usr/bin/env bash
# Installs everything the build needs on a fresh Debian 12 machine:
#  - bookworm packages through the system's apt (its sources are never changed);
#  - JUCE 8 and the Inter variable font, downloaded (never installed) from the
#    newer Debian suite with a private apt configuration, checked against the
#    sums in scripts/deps.sha256 and unpacked into .deps/.
#   scripts/setup.sh [windows]
# With "windows", also what the Windows cross-build needs: the MinGW-w64
# cross compiler, Wine and zlib for MinGW from bookworm; the newer suite's
# MinGW-w64 headers and C runtime (downloaded like JUCE, listed in
# scripts/deps-windows.sha256); and the bookworm sources of the libraries
# that Debian builds for Linux only (PNG, JPEG, Google Benchmark), which the
# cross-build compiles.
# A second run finds everything in place and does nothing.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
deps="$root/.deps"
sums="$root/scripts/deps.sha256"
windows_sums="$root/scripts/deps-windows.sha256"
juce_patch="$root/scripts/juce-8.0.6.patch"
suite="trixie"
source_suite="bookworm"
target="${1:-linux}"

packages=(
  cmake ninja-build g++ pkg-config ccache git patch
  libasound2-dev libcurl4-openssl-dev libfreetype-dev libfontconfig1-dev
  libx11-dev libxext-dev libxinerama-dev libxrandr-dev libxcursor-dev libxcomposite-dev
  libgl-dev libgtest-dev libgmock-dev libbenchmark-dev libebur128-dev
  libpng-dev libjpeg-dev zlib1g-dev
  libsndfile1-dev liblilv-dev lv2-dev sordi
  sox libsox-fmt-mp3 flac opus-tools
  xvfb xauth python3 python3-fonttools
  jackd2 jalv x42-plugins lsp-plugins-lv2
  dpkg-dev lintian lilv-utils groff-base man-db
)
windows_packages=(
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev googletest
  wine wine64 zip
)
[ "$target" = windows ] && packages+=("${windows_packages[@]}")

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

# A private apt configuration under .deps/apt-NAME that knows only one line of
# sources, in the format of /etc/apt/sources.list; prints the options that use it.
private_apt() {
  local name="$1" line="$2" dir="$deps/apt-$1"
  mkdir -p "$dir/lists/partial" "$dir/cache/archives/partial"
  if [ "$(cat "$dir/sources.list" 2>/dev/null)" != "$line" ]; then
    echo "$line" > "$dir/sources.list"
    rm -f "$dir/updated"
  fi
  local opts=(-o "Dir::Etc::SourceList=$dir/sources.list" -o "Dir::Etc::SourceParts=-"
              -o "Dir::State::Lists=$dir/lists" -o "Dir::Cache=$dir/cache"
              -o "APT::Sandbox::User=root")
  if [ ! -f "$dir/updated" ]; then
    apt-get "${opts[@]}" update -q >&2
    touch "$dir/updated"
  fi
  printf '%s\n' "${opts[@]}"
}

keyring="signed-by=/usr/share/keyrings/debian-archive-keyring.gpg"

# Downloads the binary packages named in a sums file (NAME_VERSION_ARCH.deb)
# from the newer suite, without installing them.
download_debs() {
  local list="$1" mirror opts wanted=()
  mirror=$(debian_mirror)
  mapfile -t opts < <(private_apt "$suite" "deb [$keyring] $mirror $suite main")
  while read -r _ file; do
    case "$file" in *.deb) ;; *) continue ;; esac
    local name="${file%%_*}" rest="${file#*_}"
    local version="${rest%%_*}"
    wanted+=("$name=${version//%3a/:}")
  done < "$list"
  mkdir -p "$deps/debs"
  (cd "$deps/debs" && apt-get "${opts[@]}" download "${wanted[@]}")
}

# Downloads the upstream tarballs named in a sums file (NAME_VERSION.orig.tar.*)
# of bookworm's source packages.
download_sources() {
  local list="$1" mirror opts wanted=()
  mirror=$(debian_mirror)
  mapfile -t opts < <(private_apt "$source_suite-src" "deb-src [$keyring] $mirror $source_suite main")
  while read -r _ file; do
    case "$file" in *.orig.tar.*) ;; *) continue ;; esac
    wanted+=("${file%%_*}")
  done < "$list"
  mkdir -p "$deps/sources"
  (cd "$deps/sources" && apt-get "${opts[@]}" source --download-only "${wanted[@]}")
}

verify() {
  local list="$1" dir="$2"
  (cd "$dir" && sha256sum --quiet -c "$list")
}

verify_debs() {
  verify "$sums" "$deps/debs"
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
  local patch_sum
  patch_sum=$(sha256sum < "$juce_patch")
  [ "$(cat "$juce/.complete" 2>/dev/null)" = "$patch_sum" ] && [ -f "$inter/.complete" ] && return 0
  if ! verify_debs 2>/dev/null; then
    download_debs "$sums"
    verify_debs || { echo "setup: checksum mismatch for the downloaded packages" >&2; exit 1; }
  fi
  unpack "$juce" juce-modules-source_8.0.6+ds-2_amd64.deb juce-modules-source-data_8.0.6+ds-2_all.deb
  patch_juce "$juce"
  echo "$patch_sum" > "$juce/.complete"
  unpack "$inter" fonts-inter-variable_4.1+ds-1_all.deb
  touch "$inter/.complete"
}

# Our changes to JUCE, one reviewed patch; a hunk that no longer applies stops the setup.
patch_juce() {
  local modules="$1/usr/share/juce/modules"
  if ! patch -d "$modules" -p1 --forward --batch --no-backup-if-mismatch --quiet < "$juce_patch"; then
    echo "setup: scripts/juce-8.0.6.patch no longer applies to JUCE" >&2
    exit 1
  fi
}

# The Windows cross-build: MinGW-w64 12 headers and C runtime, and the sources
# of the libraries it compiles itself.
fetch_windows_deps() {
  local mingw="$deps/mingw-w64-12" list_sum
  list_sum=$(sha256sum < "$windows_sums")
  [ "$(cat "$mingw/.complete" 2>/dev/null)" = "$list_sum" ] && return 0
  if ! verify "$windows_sums" "$deps/debs" 2>/dev/null; then
    download_debs "$windows_sums"
  fi
  if ! verify "$windows_sums" "$deps/sources" 2>/dev/null; then
    download_sources "$windows_sums"
  fi
  # Each file is checked where it landed.
  local line sum file dir
  while read -r sum file; do
    case "$file" in *.deb) dir="$deps/debs" ;; *) dir="$deps/sources" ;; esac
    echo "$sum  $file" | (cd "$dir" && sha256sum --quiet -c -) \
      || { echo "setup: checksum mismatch for $file" >&2; exit 1; }
  done < "$windows_sums"
  unpack "$mingw" mingw-w64-common_12.0.0-5_all.deb mingw-w64-x86-64-dev_12.0.0-5_all.deb
  # zlib's two headers from bookworm's MinGW package, on their own so that the
  # older MinGW headers beside them stay out of the search path.
  mkdir -p "$mingw/zlib/include"
  cp /usr/x86_64-w64-mingw32/include/zlib.h /usr/x86_64-w64-mingw32/include/zconf.h "$mingw/zlib/include/"
  echo "$list_sum" > "$mingw/.complete"
}

install_packages
fetch_third_party
[ "$target" = windows ] && fetch_windows_deps
exit 0
