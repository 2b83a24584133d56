#!/usr/bin/env bash
# Retakes docs/screenshots/{acquisition,calibration,disparity,disparity-budget}-WxH.png:
# the window on each tab, on virtual screens of a small laptop (1280 x 720), a
# common one (1366 x 768) and a full-HD monitor (1920 x 1080).
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/bootstrap.sh

duoscope_install_packages xvfb xauth
duoscope_build build -DDUOSCOPE_TESTS=OFF
for size in 1280x720 1366x768 1920x1080; do
  xvfb-run -a -s "-screen 0 ${size}x24" build/tools/duoscope-window-screenshots docs/screenshots
done
