#!/usr/bin/env bash
# Configures and builds one configuration of Orlix.
#   scripts/build.sh [release|asan|tsan|windows] [ninja targets...]
# The build lands in build/<configuration>. "windows" cross-builds the 64-bit
# Windows VST3, orlix.exe and the Windows tests with MinGW-w64, after the setup
# that needs.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
config="${1:-release}"
shift || true

case "$config" in
  release) cmake_args=(-DCMAKE_BUILD_TYPE=Release) ;;
  asan)    cmake_args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DORLIX_SANITIZE=address -DORLIX_BUILD_BENCHMARKS=OFF) ;;
  tsan)    cmake_args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DORLIX_SANITIZE=thread -DORLIX_BUILD_BENCHMARKS=OFF) ;;
  windows) cmake_args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake")
           "$root/scripts/setup.sh" windows ;;
  *) echo "build: unknown configuration '$config' (release, asan, tsan or windows)" >&2; exit 2 ;;
esac

# Compiler cache keyed on paths relative to the checkout, so that clones in
# other folders and every configuration reuse the compiled JUCE modules.
export CCACHE_BASEDIR="$(dirname "$root")"
export CCACHE_NOHASHDIR=1
export CCACHE_MAXSIZE="${CCACHE_MAXSIZE:-8G}"

build="$root/build/$config"
cmake -S "$root" -B "$build" -G Ninja "${cmake_args[@]}" > /dev/null
ninja -C "$build" "$@"
