#!/usr/bin/env bash
# Installs what is missing from the distribution's packages, then configures and
# builds, quietly: the output goes to BUILD_DIR/setup.log and is shown only when
# a step fails.
# Usage: scripts/setup.sh BUILD_DIR [extra cmake arguments...]
# VELTRANE_TARGETS: the targets to build, separated by blanks (default: all).
# VELTRANE_TEST_PACKAGES=1: also install the tools the tests drive.
# VELTRANE_TEST_CERTIFICATES=DIR: make the test certificates there.
# VELTRANE_BENCH_PACKAGES=1, VELTRANE_FUZZ_PACKAGES=1: what the benchmarks and
# the fuzz targets need.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build_dir="$1"
shift

# qt6-tools-dev holds the CMake package of qt6-l10n-tools, which makes the
# window's translations; qt6-translations-l10n has Qt's own.
packages=(cmake g++ ninja-build qt6-base-dev qt6-l10n-tools qt6-tools-dev qt6-translations-l10n
          ccache)
if [[ "${VELTRANE_TEST_PACKAGES:-0}" == 1 ]]; then
    # The battery's tools, a private network namespace, a display for the
    # window tests and a session bus with the accessibility services for the
    # screen reader's walk, openssl for the test server's certificates, and
    # what builds and checks the Debian package.
    packages+=(bind9-dnsutils iputils-ping traceroute curl net-tools iproute2 procps
               util-linux xvfb xauth dbus-daemon at-spi2-core python3-pyatspi
               openssl fonts-dejavu-core
               dpkg-dev file desktop-file-utils appstream groff-base)
fi
if [[ "${VELTRANE_BENCH_PACKAGES:-0}" == 1 ]]; then
    # bench/run.sh reads the peak memory from GNU time; bench/plot-memory.sh
    # draws with gnuplot.
    packages+=(time gnuplot-nox)
fi
if [[ "${VELTRANE_FUZZ_PACKAGES:-0}" == 1 ]]; then
    # scripts/fuzz.sh builds with clang, whose libFuzzer runtime is packaged apart.
    packages+=(clang libclang-rt-dev)
fi

missing=()
installed="$(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null || true)"
for package in "${packages[@]}"; do
    grep -qx "$package install ok installed" <<<"$installed" || missing+=("$package")
done

mkdir -p "$build_dir"
log="$build_dir/setup.log"
: >"$log"
quietly() {
    "$@" >>"$log" 2>&1 || {
        status=$?
        cat "$log" >&2
        echo "failed ($status): $*" >&2
        exit "$status"
    }
}

if ((${#missing[@]})); then
    sudo=()
    [[ "$(id -u)" == 0 ]] || sudo=(sudo)
    echo "installing: ${missing[*]}" >&2
    quietly "${sudo[@]}" apt-get update -qq
    quietly "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
        --no-install-recommends "${missing[@]}"
fi

# The test build's certificates, made once per build folder.
certs="${VELTRANE_TEST_CERTIFICATES:-}"
if [[ -n "$certs" && ( ! -e "$certs/ca.pem" || "$repo/tests/make-test-certificates.sh" -nt "$certs/ca.pem" ) ]]; then
    quietly "$repo/tests/make-test-certificates.sh" "$certs"
fi

# The test build and build/ differ only in the endpoints and the trusted
# certificates: through ccache they share every other object.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$repo}" CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER-ccache}"

# Configured again only when the arguments change; the build itself reruns
# cmake when a CMakeLists.txt does.
arguments="$(printf '%s\n' -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@")"
if [[ ! -f "$build_dir/build.ninja" || "$(cat "$build_dir/setup.args" 2>/dev/null)" != "$arguments" ]]; then
    rm -f "$build_dir/setup.args"
    quietly cmake -S "$repo" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    printf '%s\n' "$arguments" >"$build_dir/setup.args"
fi
read -ra targets <<<"${VELTRANE_TARGETS:-all}"
# A build from nothing takes minutes with no output: one line says what is
# coming. About 2.5 s a step on two cores, measured on a cold cache; ccache
# makes a rebuild far quicker.
steps="$(ninja -C "$build_dir" -n "${targets[@]}" 2>/dev/null | grep -c '^\[' || true)"
if ((steps > 20)); then
    echo "building $build_dir: $steps steps, up to about $(((steps * 5 / 2 + 59) / 60)) minutes;" \
        "the output goes to $log" >&2
fi
quietly cmake --build "$build_dir" --target "${targets[@]}"
