#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test. Tests that need an X server get
# a private Xvfb; the rest run on Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/build.sh
tools/with-xvfb.sh ctest --test-dir build --output-on-failure --timeout 600 "$@"
