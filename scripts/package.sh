#!/usr/bin/env bash
# Makes what a user installs.
#   scripts/package.sh deb       build/orlix_1.0.1-1_amd64.deb: what `cmake --install`
#                                puts under /usr, as a Debian package
#   scripts/package.sh windows   build/Orlix-1.0.1-windows-x64.zip: the VST3 bundle,
#                                orlix.exe and how to install them
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
target="${1:-}"
version="1.0.1"
debian_revision="1"
# Who answers for the package; no address of the maker is published yet.
maintainer="Halvane Audio <packages@halvane-audio.invalid>"

package_deb() {
  "$root/scripts/setup.sh"
  "$root/scripts/build.sh" release orlix_cli orlix_man Orlix_VST3 Orlix_LV2 Orlix_Standalone
  local build="$root/build/release" stage package="orlix_${version}-${debian_revision}_amd64"
  stage="$(mktemp -d)"
  trap 'rm -rf "$stage"' RETURN
  local tree="$stage/tree" doc="$stage/tree/usr/share/doc/orlix"
  DESTDIR="$tree" cmake --install "$build" --prefix /usr > /dev/null

  # As Debian's own packages are: no symbols (they are for debugging here), every file
  # readable by all, only programs executable.
  local elf
  while IFS= read -r -d '' elf; do
    case "$elf" in
      *.so) strip --strip-unneeded --remove-section=.comment --remove-section=.note "$elf"; chmod 0644 "$elf" ;;
      *)    strip --remove-section=.comment --remove-section=.note "$elf" ;;
    esac
  done < <(find "$tree" -type f \( -name '*.so' -o -path '*/usr/bin/*' \) -print0)
  chmod -R u=rwX,go=rX "$tree"

  mkdir -p "$doc"
  {
    cat "$root/packaging/debian/copyright"
    for notice in "$root/.deps/juce-8.0.6/usr/share/doc/juce-modules-source/copyright" \
                  "$root/.deps/inter-4.1/usr/share/doc/fonts-inter-variable/copyright"; do
      printf '\n\n%s\n\n' "----------------------------------------------------------------------"
      cat "$notice"
    done
  } > "$doc/copyright"
  # Dated by the last commit, so that the same source makes the same package.
  local date
  date=$(date -R -u -d "@$(git -C "$root" log -1 --format=%ct 2>/dev/null || date +%s)")
  printf 'orlix (%s-%s) unstable; urgency=medium\n\n  * Orlix %s.\n\n -- %s  %s\n' \
    "$version" "$debian_revision" "$version" "$maintainer" "$date" | gzip -9n > "$doc/changelog.Debian.gz"
  chmod 0644 "$doc"/*

  # The dependencies are what the binaries really link, as dpkg-shlibdeps finds them
  # (it reads the package's name from a debian/control of its own).
  mkdir -p "$stage/debian"
  printf 'Source: orlix\n\nPackage: orlix\nArchitecture: amd64\n' > "$stage/debian/control"
  local binaries=() depends
  mapfile -t binaries < <(cd "$stage" && find tree -type f \( -name '*.so' -o -path '*/usr/bin/*' \) | sort)
  depends=$(cd "$stage" && dpkg-shlibdeps -O "${binaries[@]/#/-e}" 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
  [ -n "$depends" ] || { echo "package: dpkg-shlibdeps found no dependencies" >&2; exit 1; }

  mkdir -p "$tree/DEBIAN"
  cat > "$tree/DEBIAN/control" <<CONTROL
Package: orlix
Version: $version-$debian_revision
Architecture: amd64
Maintainer: $maintainer
Installed-Size: $(du -sk --exclude=DEBIAN "$tree" | cut -f1)
Depends: $depends
Section: sound
Priority: optional
Description: adaptive compressor plug-in (VST3, LV2, Standalone) with Learn
 Orlix is an adaptive compressor by Halvane Audio: threshold, ratio, attack,
 release, knee, dry/wet mix, output, automatic make-up and automatic release,
 four characters (AUTO, OPTO, FET, VCA) and a drive stage with four saturation
 models (TUBE, TRANSFORMER, TAPE, FET).
 .
 Learn listens to the material and sets the compressor for the chosen SOURCE,
 NUANCE and TARGET gain reduction.
 .
 This package holds the VST3 plug-in (/usr/lib/vst3), the LV2 plug-in
 (/usr/lib/lv2), the Standalone application (orlix-standalone) and the orlix
 command-line tool, which learns and renders audio files without a host.
CONTROL
  (cd "$tree" && find usr -type f -print0 | sort -z | xargs -0 md5sum) > "$tree/DEBIAN/md5sums"
  chmod 0644 "$tree/DEBIAN/control" "$tree/DEBIAN/md5sums"

  mkdir -p "$root/build"
  dpkg-deb --root-owner-group -Zxz --build "$tree" "$root/build/$package.deb" > /dev/null
  echo "$root/build/$package.deb"
}

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
  deb) package_deb ;;
  windows) package_windows ;;
  *) echo "package: say what to package: deb or windows" >&2; exit 2 ;;
esac
