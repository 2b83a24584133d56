#!/usr/bin/env bash
# Builds the calibrator and starts it. Without capture cards it runs on the
# virtual cards (see docs/cards.md).
set -euo pipefail
cd "$(dirname "$0")"
. scripts/bootstrap.sh

extra=()
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  extra=(xvfb xauth)
fi
duoscope_install_packages "${extra[@]}"
duoscope_build build -DDUOSCOPE_TESTS=OFF

app=build/src/app/duoscope-camera-calibrator
if [ ${#extra[@]} -gt 0 ]; then
  echo "No display found: starting on a virtual X server (xvfb-run)."
  exec xvfb-run -a -s "-screen 0 1920x1080x24" "$app" "$@"
fi
exec "$app" "$@"
