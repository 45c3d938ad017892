# Shared pieces of the benchmark scripts: a prepared folder, the simulated modem, an Xvfb
# server, and CPU/memory readings from /proc.

# CPU seconds a process has used so far, all its threads, at nanosecond resolution (the
# scheduler's own account; /proc/PID/stat only counts 10 ms ticks).
cpu_seconds() {
    local total=0 t
    for t in /proc/"$1"/task/*/schedstat; do
        total=$((total + $(cut -d' ' -f1 "$t")))
    done
    awk -v ns="$total" 'BEGIN { printf "%.6f", ns / 1e9 }'
}

# Peak resident memory in MB.
peak_rss_mb() {
    awk '/^VmHWM:/ { printf "%.1f", $2 / 1024 }' "/proc/$1/status"
}

# Starts a private Xvfb; sets DISPLAY and XVFB_PID.
start_xvfb() {
    local fdfile
    fdfile=$(mktemp)
    Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp >"$fdfile" 2>/dev/null &
    XVFB_PID=$!
    for _ in $(seq 100); do [ -s "$fdfile" ] && break; sleep 0.1; done
    export DISPLAY=":$(head -n1 "$fdfile")"
    rm -f "$fdfile"
}

# Writes a zorvel.ini for port 3 into folder $1 (extra lines from $2).
write_ini() {
    printf '[Zorvel]\nCOM=3\nSpeed=9600,n,8,1\nDest=%s\nKey=bench\nStartMinimised=0\nPDUmode=0\n' \
        "${2:-http://127.0.0.1:9/}" >"$1/zorvel.ini"
}

# A fresh folder $work with zorvel.ini (StartMinimised=1 when BENCH_MINIMISED=1, a line
# Link=fast when BENCH_LINK=fast) and the simulated modem on its ports/com3; everything
# started is ended, and the folder removed, when the script exits. The caller appends further processes to `pids`.
start_bench_folder() {
    work=$(mktemp -d)
    pids=()
    trap 'kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
    mkdir -p "$work/ports"
    write_ini "$work"
    [ "${BENCH_MINIMISED:-0}" = 1 ] && sed -i 's/^StartMinimised=0/StartMinimised=1/' "$work/zorvel.ini"
    [ -n "${BENCH_LINK:-}" ] && echo "Link=$BENCH_LINK" >>"$work/zorvel.ini"
    "$root/build/zorvel-simmodem" --link "$work/ports/com3" --log "$work/sim.log" &
    pids+=($!)
}
