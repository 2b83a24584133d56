#!/usr/bin/env bash
# Retakes docs/screenshots/{acquisition,calibration,disparity}.png: the window
# on each tab, on a virtual 1920 x 1080 screen.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/bootstrap.sh

duoscope_install_packages xvfb xauth
duoscope_build build -DDUOSCOPE_TESTS=OFF
xvfb-run -a -s "-screen 0 1920x1080x24" build/tools/duoscope-window-screenshots docs/screenshots
