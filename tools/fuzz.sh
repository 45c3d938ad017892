#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/, clang++) into build-fuzz/ and runs each for the
# given number of seconds (default 60), as many at once as there are cores. Fails when
# any target crashes, trips a sanitizer, breaks a property, leaks, times out or grows
# past the memory limit. Usage: tools/fuzz.sh [seconds-per-target] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
[ $# -gt 0 ] && shift
out=build-fuzz

cmake -S fuzz -B "$out" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$out" -j"$(nproc)"

targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_replies fuzz_inbox fuzz_forward_url fuzz_latin1 fuzz_config_text
                                    fuzz_sms_deliver fuzz_forwarding_queue fuzz_http_head)

# Readable stack traces in reports.
symbolizer=$(command -v llvm-symbolizer || command -v llvm-symbolizer-14 || true)
[ -n "$symbolizer" ] && export ASAN_SYMBOLIZER_PATH="$symbolizer"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

mkdir -p "$out/logs" "$out/artifacts"
run_target() {
    local name=$1 dict=()
    # New inputs go to build-fuzz/corpus/; fuzz/corpus/ is only read.
    mkdir -p "$out/corpus/$name"
    [ -f "fuzz/dict/$name.dict" ] && dict=(-dict="fuzz/dict/$name.dict")
    "$out/$name" "$out/corpus/$name" "fuzz/corpus/$name" "${dict[@]}" \
        -max_total_time="$seconds" -rss_limit_mb=1024 -malloc_limit_mb=512 -timeout=10 \
        -max_len=4096 -print_final_stats=1 -artifact_prefix="$out/artifacts/$name-" \
        >"$out/logs/$name.log" 2>&1
}

# A small pool: start a target whenever fewer than nproc are running.
declare -A pids=()
failed=()
finish_one() {
    local name
    for name in "${!pids[@]}"; do
        if ! kill -0 "${pids[$name]}" 2>/dev/null; then
            if wait "${pids[$name]}"; then
                echo "fuzz: $name passed ($(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$out/logs/$name.log" | grep -o '[0-9]*$' || echo '?') runs in ${seconds}s)"
            else
                echo "fuzz: $name FAILED; log: $out/logs/$name.log" >&2
                tail -n 60 "$out/logs/$name.log" >&2
                failed+=("$name")
            fi
            unset "pids[$name]"
            return 0
        fi
    done
    return 1
}
for name in "${targets[@]}"; do
    while [ ${#pids[@]} -ge "$(nproc)" ]; do finish_one || sleep 1; done
    echo "fuzz: $name for ${seconds}s"
    run_target "$name" &
    pids[$name]=$!
done
while [ ${#pids[@]} -gt 0 ]; do finish_one || sleep 1; done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: failed: ${failed[*]} (inputs in $out/artifacts/)" >&2
    exit 1
fi
echo "fuzz: all ${#targets[@]} targets passed"
