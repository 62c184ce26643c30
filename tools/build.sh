#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds everything and runs one job:
#   tools/build.sh demo   renders the demo phrase to murmex2-demo.wav
#   tools/build.sh test   runs every test through CTest
set -euo pipefail

job="${1:-demo}"
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${MURMEX2_BUILD_DIR:-$top/build}"

packages=(
    build-essential cmake ninja-build pkg-config ccache
    juce-modules-source
    libasound2-dev libjack-jackd2-dev libfreetype-dev libfontconfig1-dev
    libx11-dev libxrandr-dev libxinerama-dev libxcursor-dev libxext-dev libxcomposite-dev libgl-dev
    libpng-dev libjpeg-dev zlib1g-dev
    googletest libgtest-dev libbenchmark-dev
    clang-14 locales
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Paths relative to the checkout, so ccache hits across build folders and clones.
export CCACHE_BASEDIR="$top"

cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j "$(nproc)"

case "$job" in
    demo)
        (cd "$top" && "$build/murmex2-render")
        ;;
    test)
        # Unit tests, then the validator on the built bundles, then the suites
        # under AddressSanitizer (with short fuzzing runs) and ThreadSanitizer.
        ctest --test-dir "$build" -L unit --output-on-failure -j "$(nproc)"
        ctest --test-dir "$build" -L validate --output-on-failure -j "$(nproc)"
        "$top/tools/sanitize.sh" asan
        "$top/tools/sanitize.sh" tsan
        ;;
    *)
        echo "usage: tools/build.sh [demo|test]" >&2
        exit 2
        ;;
esac
