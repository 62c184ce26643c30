#!/usr/bin/env bash
# Builds the unit tests with clang's sanitizers, each in a build folder of its
# own, and runs them through CTest:
#   tools/sanitize.sh          AddressSanitizer with UndefinedBehaviorSanitizer (and the
#                              fuzz targets, which share that build), then ThreadSanitizer
#   tools/sanitize.sh tsan     only the named ones (asan, tsan)
# MURMEX2_FUZZ_SECONDS sets how long each fuzz target runs (default 60).
set -euo pipefail

top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="${MURMEX2_JOBS:-$(nproc)}"
kinds=("$@")
[ ${#kinds[@]} -gt 0 ] || kinds=(asan tsan)

if ! command -v clang++-14 >/dev/null; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends clang-14
fi

export CCACHE_BASEDIR="$top"

for kind in "${kinds[@]}"; do
    case "$kind" in
        asan) flags="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
              targets=(murmex2-tests murmex2-fuzz-state murmex2-fuzz-preset) labels="asan|fuzz" fuzz=ON ;;
        tsan) flags="-fsanitize=thread -fno-omit-frame-pointer"
              targets=(murmex2-tests) labels="tsan" fuzz=OFF ;;
        *) echo "usage: tools/sanitize.sh [asan] [tsan]" >&2; exit 2 ;;
    esac

    build="$top/build-$kind"
    cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
        -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
        -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" \
        -DMURMEX2_SANITIZER="$kind" -DMURMEX2_BUILD_BENCHMARKS=OFF -DMURMEX2_FUZZ="$fuzz" \
        -DMURMEX2_FUZZ_SECONDS="${MURMEX2_FUZZ_SECONDS:-60}"
    cmake --build "$build" -j "$jobs" --target "${targets[@]}"
    ctest --test-dir "$build" -L "$labels" --output-on-failure -j "$jobs"
done
