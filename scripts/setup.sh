#!/usr/bin/env bash
# Installs what is missing from the distribution's packages, then configures and
# builds. Usage: scripts/setup.sh BUILD_DIR [extra cmake arguments...]
# Set VELTRANE_TEST_PACKAGES=1 to also install the tools the test suite drives,
# VELTRANE_BENCH_PACKAGES=1 those the benchmarks use, VELTRANE_FUZZ_PACKAGES=1
# those the fuzz targets need.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$1"
shift

packages=(cmake g++ ninja-build qt6-base-dev)
if [[ "${VELTRANE_TEST_PACKAGES:-0}" == 1 ]]; then
    # The battery's tools, a private network namespace, a display for the
    # window tests and openssl for the test server's certificates.
    packages+=(bind9-dnsutils iputils-ping traceroute curl net-tools iproute2 procps
               util-linux xvfb xauth openssl fonts-dejavu-core)
fi
if [[ "${VELTRANE_BENCH_PACKAGES:-0}" == 1 ]]; then
    # bench/run.sh reads the peak memory from GNU time.
    packages+=(time)
fi
if [[ "${VELTRANE_FUZZ_PACKAGES:-0}" == 1 ]]; then
    # scripts/fuzz.sh builds with clang, whose libFuzzer runtime is packaged apart.
    packages+=(clang libclang-rt-dev)
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
if ((${#missing[@]})); then
    sudo=()
    [[ "$(id -u)" == 0 ]] || sudo=(sudo)
    echo "installing: ${missing[*]}" >&2
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >&2
fi

cmake -S "$repo" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >&2
cmake --build "$build_dir" >&2
