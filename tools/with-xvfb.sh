#!/usr/bin/env bash
# Runs a command with DISPLAY set to a private Xvfb server, which ends with the command.
# ZORVEL_XVFB_WAIT sets how many seconds the server may take to accept a client (default
# 60); a server that never does ends the run here, with its own messages.
set -euo pipefail
wait_seconds=${ZORVEL_XVFB_WAIT:-60}
fdfile=$(mktemp)
xvfb_log=$(mktemp)
# -noreset: by default the server resets whenever its last client leaves, and a client
# that connects during that reset is dropped ("could not connect to display"). The tests
# start and end short-lived clients (xdotool, xprop) all the time, and on a busy machine
# a reset takes long enough for the next one to fall into it.
Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp -noreset >"$fdfile" 2>"$xvfb_log" &
xvfb_pid=$!
# Wait for the server to be gone before the next one may start: a dying server removes
# its socket file, which would otherwise be the new server's if it took the same number.
trap 'kill $xvfb_pid 2>/dev/null || true; wait $xvfb_pid 2>/dev/null || true; rm -f "$fdfile" "$xvfb_log"' EXIT

fail() {
    {
        echo "with-xvfb.sh: $1"
        echo "with-xvfb.sh: Xvfb said:"
        sed 's/^/    /' "$xvfb_log"
    } >&2
    exit 1
}

deadline=$((SECONDS + wait_seconds))
until [ -s "$fdfile" ]; do
    kill -0 $xvfb_pid 2>/dev/null || fail "Xvfb ended before it had a display number"
    [ $SECONDS -lt $deadline ] || fail "Xvfb had no display number after $wait_seconds s"
    sleep 0.1
done
export DISPLAY=":$(head -n1 "$fdfile")"
# The display number comes before the server takes clients; a client proves it does.
until timeout 10 xdpyinfo >/dev/null 2>&1; do
    kill -0 $xvfb_pid 2>/dev/null || fail "Xvfb on $DISPLAY ended before it accepted a client"
    [ $SECONDS -lt $deadline ] || fail "Xvfb on $DISPLAY accepted no client within $wait_seconds s"
    sleep 0.2
done
"$@"
