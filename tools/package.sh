#!/usr/bin/env bash
# Builds the Debian package build/zorvel_<version>_amd64.deb with CPack.
# Install it with: sudo apt-get install ./build/zorvel_1.24_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/build.sh
(cd build && cpack -G DEB >/dev/null)
ls build/zorvel_*.deb
