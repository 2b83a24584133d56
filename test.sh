#!/usr/bin/env bash
# Builds the calibrator with its tests and runs them all. With
# DUOSCOPE_SANITIZE=address,undefined the same suite runs on a sanitizer build
# in build-sanitize/ and any sanitizer report fails it.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/bootstrap.sh

# The suite also packages its build and checks the package.
duoscope_install_packages "${DUOSCOPE_PACKAGING_PACKAGES[@]}"
if [ -n "${DUOSCOPE_SANITIZE:-}" ]; then
  dir=build-sanitize
  duoscope_build "$dir" -DDUOSCOPE_TESTS=ON -DDUOSCOPE_SANITIZE="$DUOSCOPE_SANITIZE"
  export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:strict_init_order=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
else
  dir=build
  duoscope_build "$dir" -DDUOSCOPE_TESTS=ON -DDUOSCOPE_SANITIZE=
fi
export QT_QPA_PLATFORM=offscreen
cd "$dir"
exec ctest --output-on-failure --timeout 600
