#!/usr/bin/env bash
# Builds the whole project with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan/ and runs every CTest test there (the tests start build-asan/zorvel and its
# helpers, which are instrumented too). Any sanitizer report, in a test or in a program
# a test started, fails the run. Arguments go to ctest.
# Usage: tools/sanitize.sh [--build-only] [ctest arguments]
set -euo pipefail
build_only=0
if [ "${1:-}" = --build-only ]; then
    build_only=1
    shift
fi
cd "$(dirname "$0")/.."
root=$PWD
out=build-asan

# -O1 keeps the build and the tests quick while the reports still name every line;
# no recovery, so the first report ends the process.
sanitize="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B "$out" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
    -DCMAKE_CXX_FLAGS="$sanitize" \
    -DCMAKE_EXE_LINKER_FLAGS="$sanitize" >/dev/null
# The long fault runs are left out here (-LE faults): build only what the others need,
# in one parallel go.
target=all
case " $* " in *" -LE faults "*) target=tests_but_faults ;; esac
cmake --build "$out" -j"$(nproc)" --target "$target"
[ "$build_only" = 1 ] && exit 0

# Leaks that belong to the system libraries under Qt's platform plugins (fontconfig's
# caches, Xlib/xcb connection data, the GL loader, and libdbus's connection data, which
# Qt's tray icon and platform theme open and only dbus_shutdown() would free) are freed
# only at their own exit, if ever. Nothing of ours is named here, so a leak in our code
# still fails the run.
supp="$root/$out/lsan.supp"
cat >"$supp" <<'EOF'
leak:libfontconfig.so
leak:libX11.so
leak:libxcb.so
leak:libGLX.so
leak:libGLdispatch.so
leak:libEGL.so
leak:libdbus-1.so
EOF

# A report ends the process that made it (abort). AddressSanitizer and LeakSanitizer
# reports also go to files, so one in a child process whose exit a test does not look at
# still fails the run; g++'s UndefinedBehaviorSanitizer writes only to standard error, so
# the tests' whole output is searched for its reports too.
reports="$root/$out/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1:log_path=$reports/asan"
export LSAN_OPTIONS="suppressions=$supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1"

status=0
tools/with-xvfb.sh ctest --test-dir "$out" --output-on-failure --timeout 600 "$@" || status=$?

if compgen -G "$reports/*" >/dev/null; then
    echo "Sanitizer reports:" >&2
    for f in "$reports"/*; do
        echo "== $f" >&2
        cat "$f" >&2
    done
    status=1
fi
testlog="$out/Testing/Temporary/LastTest.log"
if [ -f "$testlog" ] && grep -E -q 'runtime error:|ERROR: (Address|Leak)Sanitizer' "$testlog"; then
    echo "Sanitizer reports in the test output ($testlog):" >&2
    grep -E -B2 -A20 'runtime error:|ERROR: (Address|Leak)Sanitizer' "$testlog" >&2
    status=1
fi
[ "$status" -eq 0 ] && echo "sanitize: no sanitizer report"
exit "$status"
