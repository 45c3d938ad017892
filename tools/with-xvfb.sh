#!/usr/bin/env bash
# Runs a command with DISPLAY set to a private Xvfb server, which ends with the command.
set -euo pipefail
fdfile=$(mktemp)
Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp >"$fdfile" 2>/dev/null &
xvfb_pid=$!
# Wait for the server to be gone before the next one may start: a dying server removes
# its socket file, which would otherwise be the new server's if it took the same number.
trap 'kill $xvfb_pid 2>/dev/null || true; wait $xvfb_pid 2>/dev/null || true; rm -f "$fdfile"' EXIT
for _ in $(seq 100); do
    [ -s "$fdfile" ] && break
    sleep 0.1
done
[ -s "$fdfile" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$fdfile")"
for _ in $(seq 50); do
    xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
done
"$@"
