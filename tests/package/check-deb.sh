#!/usr/bin/env bash
# shellcheck disable=SC2154 # the expectations are set by a file CMake writes
# Checks the Debian package of the calibrator as a crew would meet it: the file
# name and control fields, the files it installs and nothing of the build, the
# unpacked programs' --version, the launcher entry and the software-centre
# description.
#
#   check-deb.sh <build dir>             packages that build (cpack) and checks the result
#   check-deb.sh <build dir> <file.deb>  checks a package already made from that build
#
# The expectations (version, names, added dependencies) come from the build's
# package-expectations.sh, written by CMake. CPACK names the cpack to use.
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 <build dir> [<package.deb>]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
if [ ! -f "$build/package-expectations.sh" ]; then
  echo "$build holds no package-expectations.sh: configure it with CMake first" >&2
  exit 2
fi
# It sets version, package, appstream_id, added_depends and added_recommends.
# shellcheck source=/dev/null
. "$build/package-expectations.sh"

for tool in dpkg-deb dpkg-shlibdeps desktop-file-validate appstreamcli readelf file; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is missing: scripts/bootstrap.sh installs it (./test.sh and scripts/package.sh run it)" >&2
    exit 2
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

if [ $# -eq 2 ]; then
  deb=$2
else
  if ! (cd "$build" && "${CPACK:-cpack}" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1); then
    cat "$work/cpack.log" >&2
    echo "FAIL: cpack could not make the package" >&2
    exit 1
  fi
  debs=("$work"/out/*.deb)
  if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "FAIL: cpack made ${#debs[@]} packages instead of one: ${debs[*]}" >&2
    exit 1
  fi
  deb=${debs[0]}
fi
echo "Checking $deb"

# --- Name and control fields -------------------------------------------------
arch=$(dpkg --print-architecture)
[ "$(basename "$deb")" = "${package}_${version}_${arch}.deb" ] ||
  fail "file name $(basename "$deb"), expected ${package}_${version}_${arch}.deb"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = "$package" ] || fail "Package is '$(field Package)', expected '$package'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', expected '$version'"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)', expected '$arch'"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ -n "$(field Description)" ] || fail "no Description"
long_lines=$(field Description | awk 'length > 80')
[ -z "$long_lines" ] || fail "Description lines longer than 80 columns: $long_lines"

# Read off the binaries: the libraries every build links must be named.
depends=$(field Depends)
for library in libc6 libstdc++6 libqt5core5a libqt5gui5 libqt5widgets5 libopencv-core libopencv-imgproc libqwt-qt5; do
  grep -qE "(^|, )${library//+/\\+}[^,]* \(>=" <<<"$depends" ||
    fail "Depends names no $library with a version (dpkg-shlibdeps did not run?): $depends"
done
IFS=',' read -ra wanted <<<"$added_depends"
for pkg in "${wanted[@]}"; do
  pkg=$(xargs <<<"$pkg")
  [ -z "$pkg" ] || grep -qE "(^|, )$pkg(,|$| )" <<<"$depends" || fail "Depends lacks $pkg: $depends"
done
if [ -n "$added_recommends" ]; then
  IFS=',' read -ra wanted <<<"$added_recommends"
  for pkg in "${wanted[@]}"; do
    pkg=$(xargs <<<"$pkg")
    grep -qE "(^|, )$pkg(,|$| )" <<<"$(field Recommends)" || fail "Recommends lacks $pkg: $(field Recommends)"
  done
else
  [ -z "$(field Recommends)" ] || fail "Recommends '$(field Recommends)' without the driver that needs it"
fi
# A program linked with GStreamer captures through its plugins, which no
# library link reveals: the package must name them whatever the build called
# its driver.
if grep -qE "(^|, )libgstreamer1\.0-0 " <<<"$depends"; then
  grep -qE "(^|, )gstreamer1\.0-plugins-base(,|$| )" <<<"$depends" ||
    fail "the programs use GStreamer but Depends lacks gstreamer1.0-plugins-base: $depends"
  for pkg in gstreamer1.0-plugins-good gstreamer1.0-plugins-bad; do
    grep -qE "(^|, )$pkg(,|$| )" <<<"$(field Recommends)" ||
      fail "the programs use GStreamer but Recommends lacks $pkg: $(field Recommends)"
  done
fi

# --- Contents ----------------------------------------------------------------
dpkg-deb -x "$deb" "$work/root"
root=$work/root
outside=$(cd "$root" && find . -mindepth 1 -maxdepth 1 ! -name usr)
[ -z "$outside" ] || fail "files outside /usr: $outside"
[ ! -e "$root/usr/local" ] || fail "files under /usr/local: the package must install under /usr"
leftovers=$(cd "$root" && find . -type f \( -name '*.a' -o -name '*.h' -o -name '*.cmake' -o -name 'test_*' \
  -o -name 'bench_*' \))
[ -z "$leftovers" ] || fail "build files in the package: $leftovers"
programs=$(cd "$root/usr/bin" && find . -mindepth 1 -printf '%P\n' | sort | xargs)
[ "$programs" = "duoscope-board duoscope-camera-calibrator duoscope-measure" ] ||
  fail "/usr/bin holds '$programs', expected duoscope-board, duoscope-camera-calibrator and duoscope-measure"

for program in duoscope-camera-calibrator duoscope-board duoscope-measure; do
  binary=$root/usr/bin/$program
  [ -x "$binary" ] || { fail "/usr/bin/$program is missing or not executable"; continue; }
  file "$binary" | grep -q 'ELF .* executable' || { fail "/usr/bin/$program is not a program: $(file -b "$binary")"; continue; }
  file "$binary" | grep -q ', stripped' || fail "/usr/bin/$program still carries its symbols"
  # A search path into the build tree would load stale libraries on the build machine.
  if readelf -d "$binary" | grep -qE 'R(UN)?PATH'; then
    fail "/usr/bin/$program keeps a library search path: $(readelf -d "$binary" | grep -E 'R(UN)?PATH')"
  fi
  page=$root/usr/share/man/man1/$program.1.gz
  if [ ! -f "$page" ]; then
    fail "no manual page $program.1.gz"
  elif ! gzip -t "$page" 2>/dev/null; then
    fail "$program.1.gz is not a gzip file"
  else
    head=$(zcat "$page" | head -n 1)
    [[ "$head" == ".TH ${program^^} 1 "*"$version"* ]] || fail "$program.1 begins '$head', not its title and version $version"
  fi
done

# PNG width and height sit big-endian at bytes 16 to 23.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'; }
for size in 16 22 24 32 48 64 128 256 512; do
  icon=$root/usr/share/icons/hicolor/${size}x${size}/apps/duoscope-camera-calibrator.png
  if [ ! -f "$icon" ]; then
    fail "no ${size}x${size} icon"
  elif [ "$(head -c 8 "$icon" | od -An -tx1 | xargs)" != "89 50 4e 47 0d 0a 1a 0a" ]; then
    fail "the ${size}x${size} icon is not a PNG file"
  elif [ "$(png_size "$icon")" != "${size}x${size}" ]; then
    fail "the ${size}x${size} icon is $(png_size "$icon") pixels"
  fi
done

# --- The unpacked programs answer --version ----------------------------------
run() { timeout 60 "$@" 2>"$work/stderr"; }
answer=$(QT_QPA_PLATFORM=offscreen run "$root/usr/bin/duoscope-camera-calibrator" --version) ||
  fail "duoscope-camera-calibrator --version failed: $(cat "$work/stderr")"
[ "$answer" = "Duoscope Camera Calibrator $version" ] ||
  fail "duoscope-camera-calibrator --version said '$answer'"
# Asked over ssh or in a script there is no display, and the answer must still come.
answer=$(run env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/duoscope-camera-calibrator" --version) ||
  fail "duoscope-camera-calibrator --version without a display failed: $(cat "$work/stderr")"
[ "$answer" = "Duoscope Camera Calibrator $version" ] ||
  fail "duoscope-camera-calibrator --version without a display said '$answer'"
answer=$(run env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/duoscope-board" --version) ||
  fail "duoscope-board --version failed: $(cat "$work/stderr")"
[ "$answer" = "duoscope-board $version" ] || fail "duoscope-board --version said '$answer'"
answer=$(run env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/duoscope-measure" --version) ||
  fail "duoscope-measure --version failed: $(cat "$work/stderr")"
[ "$answer" = "duoscope-measure $version" ] || fail "duoscope-measure --version said '$answer'"

# --- What a crew with only the package can read -------------------------------
# The guide and the card configuration's format, as in the sources, and the
# way to them from --help and the manual page; every option --help lists is in
# the manual page.
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
doc=/usr/share/doc/$package
for file in README.md docs/cards.md; do
  if [ ! -f "$root$doc/$file" ]; then
    fail "$doc/$file is missing"
  elif ! cmp -s "$root$doc/$file" "$source_dir/$file"; then
    fail "$doc/$file differs from the sources' $file"
  fi
done
help=$(run env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/duoscope-camera-calibrator" --help) ||
  fail "duoscope-camera-calibrator --help failed: $(cat "$work/stderr")"
# Unpacked elsewhere, the program names the guide beside itself: $root$doc.
grep -qF "$root$doc/README.md" <<<"$help" || fail "--help does not point to $doc/README.md: $help"
grep -qF "$root$doc/docs/cards.md" <<<"$help" || fail "--help does not point to $doc/docs/cards.md: $help"
manual=$(zcat "$root/usr/share/man/man1/duoscope-camera-calibrator.1.gz" | sed 's/\\-/-/g')
for file in README.md docs/cards.md; do
  grep -qF "$doc/$file" <<<"$manual" || fail "the manual page does not point to $doc/$file"
done
for option in $(grep -oE '^ +(-[a-z?], )?--[a-z-]+' <<<"$help" | grep -oE -- '--[a-z-]+'); do
  grep -qF -- "$option" <<<"$manual" || fail "the manual page lacks $option, which --help lists"
done

# --- Launcher entry and software-centre description --------------------------
desktop=$root/usr/share/applications/duoscope-camera-calibrator.desktop
if [ ! -f "$desktop" ]; then
  fail "no launcher entry duoscope-camera-calibrator.desktop"
else
  desktop-file-validate "$desktop" >"$work/validate" 2>&1 || fail "launcher entry: $(cat "$work/validate")"
  exec_line=$(sed -n 's/^Exec=//p' "$desktop")
  [ -x "$root/usr/bin/${exec_line%% *}" ] || fail "the launcher starts '$exec_line', which the package lacks"
  icon_name=$(sed -n 's/^Icon=//p' "$desktop")
  [ -f "$root/usr/share/icons/hicolor/48x48/apps/$icon_name.png" ] || fail "the launcher's icon '$icon_name' is not installed"
fi

metainfo=$root/usr/share/metainfo/$appstream_id.metainfo.xml
if [ ! -f "$metainfo" ]; then
  fail "no metainfo $appstream_id.metainfo.xml"
else
  appstreamcli validate --no-net --strict "$metainfo" >"$work/validate" 2>&1 ||
    fail "metainfo: $(cat "$work/validate")"
  grep -q "<id>$appstream_id</id>" "$metainfo" || fail "the metainfo's id is not $appstream_id"
  grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo names no release $version"
  grep -q '<launchable type="desktop-id">duoscope-camera-calibrator.desktop</launchable>' "$metainfo" ||
    fail "the metainfo does not launch duoscope-camera-calibrator.desktop"
  # The tree as a software centre reads it: description, launcher and icon together.
  appstreamcli validate-tree --no-net --strict "$root" >"$work/validate" 2>&1 ||
    fail "installed tree: $(cat "$work/validate")"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures problem(s) in $deb" >&2
  exit 1
fi
echo "The package is complete: $(basename "$deb"), $(du -k "$deb" | cut -f1) KiB"
