#!/usr/bin/env bash
# Builds the Debian package in Release, in build-release/, and checks it as the
# test suite does: build-release/duoscope-camera-calibrator_<version>_<arch>.deb.
# Arguments go to CMake, e.g.
#   scripts/package.sh -DDUOSCOPE_PACKAGE_MAINTAINER="Name <address>"
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/bootstrap.sh

duoscope_install_packages "${DUOSCOPE_PACKAGING_PACKAGES[@]}"
dir=build-release
duoscope_build "$dir" -DCMAKE_BUILD_TYPE=Release -DDUOSCOPE_TESTS=OFF -DDUOSCOPE_BENCHMARKS=OFF \
  -DDUOSCOPE_SANITIZE= "$@"
(cd "$dir" && cpack -G DEB)

# shellcheck source=/dev/null
. "$dir/package-expectations.sh"
# shellcheck disable=SC2154 # package and version come from the file above
deb="$dir/${package}_${version}_$(dpkg --print-architecture).deb"
tests/package/check-deb.sh "$dir" "$deb"
echo "Install it with: sudo apt install ./$deb"
