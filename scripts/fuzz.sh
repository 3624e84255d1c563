#!/usr/bin/env bash
# Usage: fuzz.sh [seconds]
#
# Builds the libFuzzer targets in fuzz/ with clang (installing clang when it is
# missing) into build-fuzz/ (or $TAVRIN_FUZZ_BUILD_DIR) and runs each for the
# given time (60 s by default), starting from the seeds in fuzz/corpus/<target>/.
# Prints each target's executions and findings; exits non-zero when a target
# found something (the input is kept in <build>/findings/<target>/).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${TAVRIN_FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${1:-60}"
targets=(fuzz_interval fuzz_keypath fuzz_httpanswer)

if ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds < 1)); then
    echo "usage: $0 [seconds]" >&2
    exit 2
fi

missing=()
command -v clang++ >/dev/null 2>&1 || missing+=(clang)
# libFuzzer and the sanitizer runtimes.
compgen -G "/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a" >/dev/null ||
    missing+=(libclang-rt-dev)
"$root/scripts/install-packages.sh" ${missing[@]+"${missing[@]}"}

mkdir -p "$build"
if [[ ! -f "$build/CMakeCache.txt" ]]; then
    CC=clang CXX=clang++ cmake -S "$root/fuzz" -B "$build" >"$build/configure.log" 2>&1 || {
        cat "$build/configure.log" >&2
        exit 1
    }
fi
if ! cmake --build "$build" --parallel 2 >"$build/build.log" 2>&1; then
    grep -E -v '^\[ *[0-9]+%\]' "$build/build.log" | tail -n 40 >&2
    echo "Fuzz build failed; full log: $build/build.log" >&2
    exit 1
fi

status=0
for target in "${targets[@]}"; do
    # New inputs go to a corpus in the build tree; the committed seeds stay as they are.
    corpus="$build/corpus/$target"
    findings="$build/findings/$target"
    # Findings are of this run only.
    rm -rf "$findings"
    mkdir -p "$corpus" "$findings"
    log="$build/$target.log"
    echo "== $target: ${seconds} s"
    set +e
    "$build/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$findings/" \
        "$corpus" "$root/fuzz/corpus/$target" >"$log" 2>&1
    result=$?
    set -e
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    found=$(find "$findings" -type f | wc -l)
    echo "   executions: ${executions:-?} (${rate:-?}/s), corpus: $(find "$corpus" -type f | wc -l) inputs, findings: $found"
    if ((result != 0 || found > 0)); then
        status=1
        echo "   FOUND A PROBLEM (exit $result); log: $log" >&2
        grep -E 'ERROR|invariant broken|SUMMARY|runtime error' "$log" | head -n 10 >&2 || true
        find "$findings" -type f | sed 's/^/   input: /' >&2
    fi
done
exit $status
