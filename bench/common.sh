# Shared pieces of the benchmark scripts: a prepared folder, the simulated modem, an Xvfb
# server, and CPU/memory readings from /proc.

# CPU seconds (user + system) a process has used so far.
cpu_seconds() {
    awk -v hz="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); print ($12 + $13) / hz }' "/proc/$1/stat"
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
