#!/usr/bin/env bash
# The long soak: by default 200 SMS arriving at random moments over 30 minutes at one
# gateway whose receiver refuses 30% of requests, with a refused delete now and then.
# Prints the usage samples (CPU, memory) and the account; ends non-zero when an SMS was
# lost or the account does not add up. At one SMS per cycle this takes about 50 minutes.
#
#   tools/soak.sh                                  # 1 gateway, 200 SMS
#   ZORVEL_SOAK_GATEWAYS=4 tools/soak.sh           # the same 200 SMS over 4 gateways, ~13 min
#   ZORVEL_SOAK_MESSAGES=500 ZORVEL_SOAK_ADD_SECONDS=3600 tools/soak.sh
#
# Other figures: ZORVEL_SOAK_FAIL_RATE (0.3), ZORVEL_SOAK_DELETE_FAULTS (per gateway),
# ZORVEL_SOAK_SAMPLE_SECONDS, ZORVEL_SOAK_LIMIT_SECONDS, ZORVEL_SOAK_SEED.
# ZORVEL_BUILD_DIR picks the build (default build/, made by tools/build.sh when missing).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${ZORVEL_BUILD_DIR:-build}"
if [ ! -x "$build/tests/test_soak_short" ]; then
    tools/install-deps.sh
    tools/build.sh
fi
gateways="${ZORVEL_SOAK_GATEWAYS:-1}"
messages="${ZORVEL_SOAK_MESSAGES:-200}"
add="${ZORVEL_SOAK_ADD_SECONDS:-$(( 1800 / gateways ))}"
export ZORVEL_SOAK_GATEWAYS="$gateways" ZORVEL_SOAK_MESSAGES="$messages" ZORVEL_SOAK_ADD_SECONDS="$add"
export ZORVEL_SOAK_DELETE_FAULTS="${ZORVEL_SOAK_DELETE_FAULTS:-$(( 10 / gateways + 1 ))}"
export ZORVEL_SOAK_SAMPLE_SECONDS="${ZORVEL_SOAK_SAMPLE_SECONDS:-120}"
# 20 s per SMS and gateway is twice what a 30% refusal rate needs.
export ZORVEL_SOAK_LIMIT_SECONDS="${ZORVEL_SOAK_LIMIT_SECONDS:-$(( add + 20 * messages / gateways + 300 ))}"
export QTEST_FUNCTION_TIMEOUT=$(( (ZORVEL_SOAK_LIMIT_SECONDS + 600) * 1000 ))
exec "$build/tests/test_soak_short" -maxwarnings 0
