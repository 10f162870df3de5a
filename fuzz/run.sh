#!/bin/sh
# Runs one fuzz target for a number of seconds, starting from its seed corpus in
# fuzz/corpus/<target>/, so each run begins from the coverage the seeds reach:
#   fuzz/run.sh fuzz_xlsx_reader 600
# Builds the fuzzing build first where it is missing or out of date (clang, in build-fuzz/, or in
# $QUILLMARK_FUZZ_BUILD). Inputs that reach new code, and any crash, go to a scratch folder outside
# the repository ($QUILLMARK_FUZZ_SCRATCH, by default /tmp/quillmark-fuzz/<target>/): copy a
# crash's input into the corpus only once the fault it shows is fixed.
set -eu

if [ $# -ne 2 ]; then
    echo "usage: $0 TARGET SECONDS" >&2
    exit 2
fi
target=$1
seconds=$2
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${QUILLMARK_FUZZ_BUILD:-$source_dir/build-fuzz}
scratch=${QUILLMARK_FUZZ_SCRATCH:-${TMPDIR:-/tmp}/quillmark-fuzz}/$target
seeds=$source_dir/fuzz/corpus/$target

if [ ! -d "$seeds" ]; then
    echo "$0: no seed corpus $seeds; the targets are:" >&2
    ls "$source_dir/fuzz/corpus" >&2
    exit 2
fi
if [ ! -f "$build_dir/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S "$source_dir" -B "$build_dir" -G Ninja \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLMARK_FUZZ=ON -DQUILLMARK_TESTS=OFF
fi
cmake --build "$build_dir" -j2 --target "$target"

mkdir -p "$scratch/corpus"
# A slow input counts as a hang after 10 s; memory beyond 2 GB (ASan's own share included) as a
# runaway allocation.
exec "$build_dir/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$scratch/" "$scratch/corpus" "$seeds"
