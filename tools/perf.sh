#!/usr/bin/env bash
# Figures for docs/performance.md, measured side by side, never as tests:
#   tools/perf.sh [--peers] [ROUNDS] [SECONDS]
# - the built LV2 bundle timed in the headless LV2 host from shared/tools/lv2bench
#   (one held note, 48 kHz, 512-sample blocks), with --peers interleaved with the
#   other instruments of its peers.txt that are installed;
# - instructions per frame inside run() under callgrind;
# - murmex2-bench's processBlock, start-up and editor figures.
set -euo pipefail

top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${MURMEX2_BUILD_DIR:-$top/build}"
bench_src="$top/../shared/tools/lv2bench"
peers=0
[ "${1:-}" = "--peers" ] && { peers=1; shift; }
rounds="${1:-7}"
secs="${2:-60}"

for p in liblilv-dev lv2-dev valgrind; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" \
        || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$p"
done

# shared/ may be read-only: the host is built in the build folder.
mkdir -p "$build/lv2bench"
cp -r "$bench_src"/. "$build/lv2bench/"
make -s -C "$build/lv2bench" lv2bench

bundle="$build/Murmex2_artefacts/Release/LV2/Murmex2.lv2"
contenders="$build/lv2bench/contenders.txt"
echo "murmex2|https://halvenor.example/plugins/murmex2|--bundle $bundle" > "$contenders"
[ $peers = 1 ] && grep -v '^\s*#' "$bench_src/peers.txt" | grep -v '^\s*$' >> "$contenders"

# An empty home, so every instance starts on the default sound rather than on
# the first preset of an installed library.
scratch_home="$(mktemp -d)"
trap 'rm -rf "$scratch_home"' EXIT

HOME="$scratch_home" "$build/lv2bench/peers.sh" -f "$contenders" -r "$rounds" -s "$secs" -i -o "$build/lv2bench/out"

HOME="$scratch_home" "$build/murmex2-bench" --benchmark_filter='rate:48000|idle|construct|openEditor' --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true
