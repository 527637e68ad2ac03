#!/bin/sh
# scripts/fuzz.sh [SECONDS]: builds the libFuzzer targets with clang (AddressSanitizer
# and UndefinedBehaviorSanitizer) in build/fuzz and runs each for SECONDS (default 60),
# starting from its committed seeds in fuzz/corpus/NAME and the corpus it grew before
# in build/fuzz/corpus/NAME. Findings are written to build/fuzz/findings.
set -eu
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VX_FUZZ_BUILD:-$root/build/fuzz}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
    -DVX_SANITIZE=ON -DVX_FUZZ=ON >/dev/null
cmake --build "$build" --target fuzz_targets
mkdir -p "$build/findings"
status=0
for seeds in "$root"/fuzz/corpus/*/; do
    name=$(basename "$seeds")
    target="$build/fuzz/${name}_fuzz"
    [ -x "$target" ] || continue
    mkdir -p "$build/corpus/$name"
    echo "== ${name}_fuzz for ${seconds} s"
    "$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=20 \
        -artifact_prefix="$build/findings/${name}-" "$build/corpus/$name" "$seeds" || status=1
done
exit $status
