#!/usr/bin/env bash
# Instructions per AT command, counted by callgrind: steadier than CPU time on a busy
# machine, so two builds can be compared to a few per cent.
#   bench/instructions.sh [commands]   (default 60, counted after 10 to warm up)
# BENCH_MINIMISED=1 runs with the window hidden in the tray. BENCH_LINK=fast measures the
# held link. BENCH_PROGRAM=path measures another build of the program against this
# folder's simulated modem.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
commands=${1:-60}
program=${BENCH_PROGRAM:-$root/build/zorvel}
source "$here/common.sh"
command -v valgrind >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq valgrind >/dev/null

start_bench_folder
start_xvfb
pids+=("$XVFB_PID")
sleep 0.5

sent() { grep -c ' CMD ' "$work/sim.log" 2>/dev/null || true; }
wait_for() {
    while [ "$(sent)" -lt "$1" ]; do
        kill -0 "$app" 2>/dev/null || { echo "the program ended early" >&2; exit 1; }
        sleep 0.2
    done
}

cd "$work"
valgrind --tool=callgrind --callgrind-out-file="$work/cg.%p" "$program" 2>/dev/null &
app=$!
pids+=("$app")
wait_for 10
callgrind_control -z "$app" >/dev/null 2>&1
n0=$(sent)
wait_for $((n0 + commands))
callgrind_control -d "$app" >/dev/null 2>&1
n1=$(sent)
sleep 1
total=$(awk '/^(summary|totals):/ { print $2; exit }' "$work"/cg.*.1)
awk -v t="$total" -v n="$((n1 - n0))" -v p="$program" 'BEGIN {
    printf "%s: %d AT commands, %.0f instructions, %.2f M instructions per AT command\n",
           p, n, t, t / n / 1e6 }'
