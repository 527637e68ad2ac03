#!/bin/sh
# Runs every benchmark program of an optimised build (./dev bench builds it).
set -eu
dir=${1:-build/bench}
found=0
for b in $(find "$dir/benchmarks" -type f -perm -u+x -name '*_bench' 2>/dev/null | sort); do
    found=1
    echo "== $(basename "$b")"
    "$b"
done
[ "$found" -eq 1 ] || { echo "no benchmarks built in $dir"; exit 1; }
