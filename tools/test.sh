#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test. Tests that need an X server get
# a private Xvfb; the rest run on Qt's offscreen platform. Arguments go to the ctest of
# the normal build. Then a short fuzz run (tools/fuzz.sh) and the unit and end-to-end
# tests once more under AddressSanitizer and UndefinedBehaviorSanitizer (tools/sanitize.sh).
# ZORVEL_QUICK=1 stops after the normal suite; ZORVEL_FUZZ_SECONDS sets the time per
# fuzz target (default 30).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/build.sh
# Everything but the X11 tests runs on Qt's offscreen platform; the X11 tests get a fresh
# private X server of their own, so nothing the long runs before them did can touch it.
# The long end-to-end runs mostly wait for reply windows, so four run side by side, and
# the fuzz targets and the sanitizer build are made meanwhile at the lowest priority.
fuzz_build=
if [ "${ZORVEL_QUICK:-0}" != 1 ]; then
    { nice -n 19 tools/fuzz.sh --build-only && nice -n 19 tools/sanitize.sh --build-only -LE faults; } \
        >build-fuzz.log 2>&1 &
    fuzz_build=$!
fi
ctest --test-dir build --output-on-failure --timeout 600 -j4 -LE x11 "$@"
tools/with-xvfb.sh ctest --test-dir build --output-on-failure --timeout 600 -L x11 "$@"
if [ "${ZORVEL_QUICK:-0}" = 1 ]; then
    echo "ZORVEL_QUICK=1: fuzzing and sanitizer run skipped"
    exit 0
fi
wait "$fuzz_build" || { cat build-fuzz.log >&2; exit 1; }
tools/fuzz.sh "${ZORVEL_FUZZ_SECONDS:-30}"
# The fault and soak suite ran above; under the sanitizers the unit and end-to-end tests.
tools/sanitize.sh -LE faults -j2
