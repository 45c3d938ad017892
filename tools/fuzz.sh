#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/, clang++) into build-fuzz/ and runs each for the
# given number of seconds (default 60), as many at once as there are cores. Fails when
# any target crashes, trips a sanitizer, breaks a property, leaks, times out or grows
# past the memory limit; and fails when fuzz_cycle_planted, the cycle's target with a
# fault planted on purpose (fuzz/planted/), does NOT break the rule in its time.
# Usage: tools/fuzz.sh [seconds-per-target] [target...]
#        tools/fuzz.sh --build-only
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
[ $# -gt 0 ] && shift
out=build-fuzz

cmake -S fuzz -B "$out" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$out" -j"$(nproc)"
[ "$seconds" = --build-only ] && exit 0

targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_replies fuzz_inbox fuzz_forward_url fuzz_config_text
                                    fuzz_sms_deliver fuzz_forwarding_planner fuzz_http_head fuzz_status_report
                                    fuzz_sms_submit fuzz_outbox_answer fuzz_http_body fuzz_cycle fuzz_cycle_planted)

# Readable stack traces in reports.
symbolizer=$(command -v llvm-symbolizer || command -v llvm-symbolizer-14 || true)
[ -n "$symbolizer" ] && export ASAN_SYMBOLIZER_PATH="$symbolizer"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

mkdir -p "$out/logs" "$out/artifacts"
run_target() {
    # A planted twin starts from its target's seeds and dictionary.
    local name=$1 seeds=${1%_planted} dict=()
    # New inputs go to build-fuzz/corpus/; fuzz/corpus/ is only read.
    mkdir -p "$out/corpus/$name"
    [ -f "fuzz/dict/$seeds.dict" ] && dict=(-dict="fuzz/dict/$seeds.dict")
    "$out/$name" "$out/corpus/$name" "fuzz/corpus/$seeds" "${dict[@]}" \
        -max_total_time="$seconds" -rss_limit_mb=1024 -malloc_limit_mb=512 -timeout=10 \
        -max_len=4096 -print_final_stats=1 -artifact_prefix="$out/artifacts/$name-" \
        >"$out/logs/$name.log" 2>&1
}

# A small pool: start a target whenever fewer than nproc are running.
declare -A pids=() started=()
failed=()
finish_one() {
    local name
    for name in "${!pids[@]}"; do
        if ! kill -0 "${pids[$name]}" 2>/dev/null; then
            if [[ $name == *_planted ]]; then
                # Here a broken rule is the pass: the fault was planted to be found.
                if wait "${pids[$name]}"; then
                    echo "fuzz: $name FAILED: the planted fault went unnoticed for ${seconds}s" >&2
                    failed+=("$name")
                elif grep -q 'property failed' "$out/logs/$name.log"; then
                    echo "fuzz: $name passed: the planted fault was found within $((SECONDS - started[$name]))s ($(grep -m1 -o 'RULE BROKEN: [^(]*' "$out/logs/$name.log" | cut -c1-100))"
                else
                    echo "fuzz: $name FAILED otherwise than by the rule; log: $out/logs/$name.log" >&2
                    tail -n 60 "$out/logs/$name.log" >&2
                    failed+=("$name")
                fi
            elif wait "${pids[$name]}"; then
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
    started[$name]=$SECONDS
done
while [ ${#pids[@]} -gt 0 ]; do finish_one || sleep 1; done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: failed: ${failed[*]} (inputs in $out/artifacts/)" >&2
    exit 1
fi
echo "fuzz: all ${#targets[@]} targets passed"
