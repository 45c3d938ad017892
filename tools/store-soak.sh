#!/usr/bin/env bash
# The long runs of the local store (Store=1), with the code of the short ones in the test
# suite: a crash loop (by default 50 messages and 100 kills with SIGKILL at random
# moments while the receiver goes down and up, then run until drained: about 35 minutes)
# and an outage (200 messages arriving at a SIM of 30 slots while the receiver is away,
# then delivered: about 12 minutes). Each prints its figures (kills, repeats, held
# messages, time to drain) and ends non-zero when a message was lost, sent under two
# keys, repeated without a kill right after its 2xx, or held back by a full SIM too long.
#
#   tools/store-soak.sh              # both
#   tools/store-soak.sh crash        # only the crash loop
#   tools/store-soak.sh outage       # only the outage
#   ZORVEL_STORE_KILLS=200 ZORVEL_STORE_MESSAGES=80 tools/store-soak.sh crash
#
# Figures: ZORVEL_STORE_MESSAGES (50), ZORVEL_STORE_KILLS (100), ZORVEL_STORE_GAP_MIN and
# ZORVEL_STORE_GAP_MAX (seconds between two kills, 13 and 25); ZORVEL_STORE_OUTAGE_MESSAGES
# (200), ZORVEL_STORE_SLOTS (30), ZORVEL_STORE_ADD_SECONDS (600: 30 slots take in at most
# 30 messages in 68 s), ZORVEL_STORE_HELD_SECONDS (90); ZORVEL_STORE_SEED;
# ZORVEL_BUILD_DIR picks the build (default build/).
# ZORVEL_KEEP_RUNS=1 keeps each run's folder (logs, store, zorvel.ini).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${ZORVEL_BUILD_DIR:-build}"
which="${1:-both}"
if [ ! -x "$build/tests/test_soak_store_crash" ] || [ ! -x "$build/tests/test_soak_store_outage" ]; then
    tools/install-deps.sh
    tools/build.sh
fi
status=0
if [ "$which" = both ] || [ "$which" = crash ]; then
    export ZORVEL_STORE_MESSAGES="${ZORVEL_STORE_MESSAGES:-50}" ZORVEL_STORE_KILLS="${ZORVEL_STORE_KILLS:-100}"
    gap=$(( (${ZORVEL_STORE_GAP_MIN:-13} + ${ZORVEL_STORE_GAP_MAX:-25}) / 2 ))
    limit="${ZORVEL_STORE_LIMIT_SECONDS:-$(( ZORVEL_STORE_KILLS * gap + 300 ))}"
    echo "== crash loop: $ZORVEL_STORE_MESSAGES messages, $ZORVEL_STORE_KILLS kills (limit $limit s)"
    ZORVEL_STORE_LIMIT_SECONDS="$limit" QTEST_FUNCTION_TIMEOUT=$(( (limit + 300) * 1000 )) \
        "$build/tests/test_soak_store_crash" -maxwarnings 0 || status=1
fi
if [ "$which" = both ] || [ "$which" = outage ]; then
    export ZORVEL_STORE_OUTAGE_MESSAGES="${ZORVEL_STORE_OUTAGE_MESSAGES:-200}"
    export ZORVEL_STORE_SLOTS="${ZORVEL_STORE_SLOTS:-30}" ZORVEL_STORE_ADD_SECONDS="${ZORVEL_STORE_ADD_SECONDS:-600}"
    export ZORVEL_STORE_HELD_SECONDS="${ZORVEL_STORE_HELD_SECONDS:-90}"
    limit="${ZORVEL_STORE_LIMIT_SECONDS:-$(( ZORVEL_STORE_ADD_SECONDS + ZORVEL_STORE_OUTAGE_MESSAGES + 300 ))}"
    echo "== outage: $ZORVEL_STORE_OUTAGE_MESSAGES messages within $ZORVEL_STORE_ADD_SECONDS s into $ZORVEL_STORE_SLOTS slots (limit $limit s)"
    ZORVEL_STORE_LIMIT_SECONDS="$limit" QTEST_FUNCTION_TIMEOUT=$(( (limit + 300) * 1000 )) \
        "$build/tests/test_soak_store_outage" -maxwarnings 0 || status=1
fi
exit $status
