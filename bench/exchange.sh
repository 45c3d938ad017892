#!/usr/bin/env bash
# Back-to-back command exchanges against the simulated modem: CPU per hour and per AT
# command, peak memory, and the length of every reply window.
#   bench/exchange.sh [seconds]      (default 300; the window lengths take 60 s more)
# BENCH_MINIMISED=1 runs with the window hidden in the tray, as an unattended gateway does.
# BENCH_NO_WINDOW=1 runs `zorvel --no-window` without any X server, as the service does.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
seconds=${1:-300}
source "$here/common.sh"
command -v strace >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq strace >/dev/null

start_bench_folder
no_window=${BENCH_NO_WINDOW:-0}
if [ "$no_window" = 1 ]; then
    rss_target=20
else
    start_xvfb
    pids+=("$XVFB_PID")
    rss_target=32
fi
sleep 0.5
# The X server's CPU, or nothing without one.
x_cpu() { if [ "$no_window" = 1 ]; then echo 0; else cpu_seconds "$XVFB_PID"; fi; }

cd "$work"
launched=$(date +%s.%N)
if [ "$no_window" = 1 ]; then
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/build/zorvel" --no-window 2>"$work/zorvel.log" &
else
    "$root/build/zorvel" 2>/dev/null &
fi
app=$!
pids+=("$app")
sleep 2
cpu0=$(cpu_seconds "$app"); x0=$(x_cpu); n0=$(grep -c ' CMD ' sim.log || true)
sleep "$seconds"
cpu1=$(cpu_seconds "$app"); x1=$(x_cpu); n1=$(grep -c ' CMD ' sim.log || true)
rss=$(peak_rss_mb "$app")

# Window lengths: from the write of a command to the close of the port, as the system
# calls show them.
strace -f -q -ttt -e trace=write,close -p "$app" -o "$work/trace" &
tracer=$!
sleep 60
kill "$tracer" 2>/dev/null || true
wait "$tracer" 2>/dev/null || true

python3 - "$work/trace" "$cpu0" "$cpu1" "$x0" "$x1" "$((n1 - n0))" "$seconds" "$rss" "$launched" "$work/sim.log" "$rss_target" "$no_window" <<'PY'
import datetime, re, statistics, sys
trace, cpu0, cpu1, x0, x1, n, s, rss, launched, simlog, rss_target, no_window = sys.argv[1:]
for line in open(simlog, errors="replace"):
    stamp, _, rest = line.partition(" ")
    if rest.startswith("RX "):
        first = datetime.datetime.fromisoformat(stamp).timestamp()
        print(f"start-up to the first command on the line: {(first - float(launched)) * 1000:.0f} ms "
              "(the first tick comes one second after start-up: the timer's first interval)")
        break
cpu, xcpu, n, s = float(cpu1) - float(cpu0), float(x1) - float(x0), int(n), int(s)
print(f"run: {s} s, {n} AT commands" + (", no window (--no-window, no X server)" if no_window == "1" else ""))
print(f"zorvel CPU: {cpu:.2f} s; {cpu * 3600 / s:.2f} s per hour of polling"
      + (" (target <= 1.5)" if no_window == "1" else "") + "; "
      f"{cpu * 1000 / max(n, 1):.3f} ms per AT command (target <= 0.6)")
if no_window != "1":
    print(f"X server CPU (apart): {xcpu:.2f} s; {xcpu * 3600 / s:.2f} s per hour")
print(f"peak RSS: {rss} MB (target <= {rss_target})")
# A write of "AT..." on a descriptor opens a window; the close of that descriptor ends it.
start, windows = {}, []
for line in open(trace):
    m = re.search(r' (\d+\.\d+) write\((\d+), "AT', line)
    if m:
        start[m.group(2)] = float(m.group(1))
        continue
    m = re.search(r' (\d+\.\d+) close\((\d+)\)', line)
    if m and m.group(2) in start:
        windows.append((float(m.group(1)) - start.pop(m.group(2))) * 1000)
if windows:
    inside = sum(1000 < w <= 2020 for w in windows)
    print(f"reply windows: {len(windows)} measured; min {min(windows):.1f} ms, "
          f"median {statistics.median(windows):.1f} ms, max {max(windows):.1f} ms; "
          f"{inside} of {len(windows)} within (1000, 2000] ms + 20 ms overhead")
else:
    print("reply windows: none measured")
PY
