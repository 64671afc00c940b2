#!/usr/bin/env bash
# Checks the Debian package as a user's machine meets it, and the per-user install.
# Installs and removes the package, so it runs as root (as CI does).
#   scripts/deb-check.sh
# Needs build/orlix_1.0.1-1_amd64.deb (scripts/package.sh deb) and the release build
# with its tests (scripts/test.sh). Checks:
#   - lintian finds no errors;
#   - the package holds exactly what `cmake --install` puts under /usr: the two
#     bundles as they were built, orlix, orlix-standalone, the desktop entry, the
#     icon and the manual pages, and the copyright and changelog Debian asks for;
#   - installed with dpkg -i: lv2ls lists the plug-in, JUCE's VST3 hosting finds it
#     in /usr/lib/vst3 and it renders the same samples as the bundle built here,
#     orlix --version runs and man finds orlix(1);
#   - removed with dpkg -r: nothing of it remains;
#   - `cmake --install --prefix ~/.local` gives a user plug-ins that hosts find
#     (~/.vst3, ~/.lv2) and the tool in ~/.local/bin.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/release"
deb="$root/build/orlix_1.0.1-1_amd64.deb"
uri="urn:halvane:orlix"
[ -f "$deb" ] || { echo "deb-check: $deb is missing (scripts/package.sh deb)" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || { echo "deb-check: installs a package, so it runs as root" >&2; exit 1; }

passed=0 failed=0
check() {
  local name="$1"
  shift
  if "$@"; then
    echo "deb-check: ok   $name"
    passed=$((passed + 1))
  else
    echo "deb-check: FAIL $name"
    failed=$((failed + 1))
  fi
}

scratch="$(mktemp -d)"
installed_here=0
cleanup() {
  [ "$installed_here" -eq 1 ] && dpkg -r orlix > /dev/null 2>&1
  rm -rf "$scratch"
}
trap cleanup EXIT

# The VST3 test, which skips without ORLIX_INSTALLED_VST3, must really have run.
vst3_found_and_renders() {
  local bundle="$1" log="$scratch/vst3.log"
  shift
  if env "$@" ORLIX_INSTALLED_VST3="$bundle" "$build/tests/orlix_tests" \
       --gtest_filter='Vst3Host.AnInstalledBundle*' > "$log" 2>&1 &&
     grep -q '^\[       OK \] Vst3Host.AnInstalledBundle' "$log"; then
    return 0
  fi
  cat "$log"
  return 1
}

no_lintian_errors() {
  local report="$scratch/lintian.txt"
  lintian "$deb" > "$report" 2>&1 || true
  sed 's/^/  lintian: /' "$report"
  ! grep -q '^E: ' "$report"
}

# Files of a folder, relative to it, sorted.
files_under() { (cd "$1" && find . \( -type f -o -type l \) | sed 's#^\./##' | sort); }

holds_exactly_the_install() {
  local expected="$scratch/expected" actual="$scratch/actual"
  {
    files_under "$build/Orlix_artefacts/Release/VST3/Orlix.vst3" | sed 's#^#usr/lib/vst3/Orlix.vst3/#'
    files_under "$build/Orlix_artefacts/Release/LV2/Orlix.lv2" | sed 's#^#usr/lib/lv2/Orlix.lv2/#'
    printf '%s\n' usr/bin/orlix usr/bin/orlix-standalone \
      usr/share/applications/orlix.desktop usr/share/icons/hicolor/scalable/apps/orlix.svg \
      usr/share/man/man1/orlix.1.gz usr/share/man/man1/orlix-standalone.1.gz \
      usr/share/doc/orlix/copyright usr/share/doc/orlix/changelog.Debian.gz
  } | sort > "$expected"
  dpkg-deb -c "$deb" | grep -v '^d' | awk '{ print $6 }' | sed 's#^\./##' | sort > "$actual"
  diff -u "$expected" "$actual"
}

# lv2ls looks only in the folder given, so that a copy elsewhere cannot answer for it.
lv2ls_lists() { LV2_PATH="$1" lv2ls | grep -qx "$uri"; }

version_runs() {
  local out
  out=$("$1" --version) && [[ "$out" == "Orlix 1.0.1 "* ]]
}

man_finds_the_page() { [ "$(man -w orlix)" = /usr/share/man/man1/orlix.1.gz ]; }

# Every file the package held (listed by the check of its contents) is gone, and so
# are its folders; dpkg keeps no record of it.
nothing_remains() {
  local left=0 path status
  while read -r path; do
    [ -e "/$path" ] && { echo "  left behind: /$path"; left=1; }
  done < "$scratch/actual"
  for path in /usr/lib/vst3/Orlix.vst3 /usr/lib/lv2/Orlix.lv2 /usr/share/doc/orlix; do
    [ -e "$path" ] && { echo "  left behind: $path"; left=1; }
  done
  status=$(dpkg-query -W -f='${Status}' orlix 2>/dev/null || true)
  case "$status" in
    "" | *not-installed) ;;
    *) echo "  dpkg still has it: $status"; left=1 ;;
  esac
  [ "$left" -eq 0 ]
}

check "lintian reports no errors" no_lintian_errors
check "the package holds exactly the install's files" holds_exactly_the_install

if dpkg-query -W -f='${Status}' orlix 2>/dev/null | grep -q "install ok installed"; then
  echo "deb-check: orlix was installed before; it is replaced and removed by this check"
fi
if dpkg -i "$deb" > "$scratch/dpkg.log" 2>&1; then
  installed_here=1
  check "dpkg -i installs it" true
  check "lv2ls lists $uri in /usr/lib/lv2" lv2ls_lists /usr/lib/lv2
  check "JUCE's VST3 host finds it in /usr/lib/vst3 and it renders as the built bundle" \
    vst3_found_and_renders /usr/lib/vst3/Orlix.vst3
  check "orlix --version runs" version_runs /usr/bin/orlix
  check "man finds orlix(1)" man_finds_the_page
  dpkg -r orlix > "$scratch/dpkg.log" 2>&1 && installed_here=0
  check "dpkg -r removes it and nothing of it remains" nothing_remains
else
  cat "$scratch/dpkg.log"
  check "dpkg -i installs it" false
fi

# A user's own install, in a home of its own.
home="$scratch/home"
mkdir -p "$home"
HOME="$home" cmake --install "$build" --prefix "$home/.local" > /dev/null
check "--prefix ~/.local: lv2ls finds the plug-in in ~/.lv2" lv2ls_lists "$home/.lv2"
check "--prefix ~/.local: JUCE's VST3 host finds it in ~/.vst3" \
  vst3_found_and_renders "$home/.vst3/Orlix.vst3" HOME="$home"
check "--prefix ~/.local: orlix --version runs from ~/.local/bin" version_runs "$home/.local/bin/orlix"

echo "deb-check: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
