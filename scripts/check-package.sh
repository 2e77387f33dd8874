#!/usr/bin/env bash
# Builds the Debian package from build/ (the endpoints of config/endpoints.conf)
# and checks what it installs, unpacked into a throw-away root: the program
# answers -h, links no Qt but Core and has its run program beside it, the
# desktop entry and the metainfo pass their validators, the manual page renders
# without warnings and lists the options -h prints, the window's translations
# are there, and the package depends on every tool the battery starts.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$repo/build"
VELTRANE_TEST_PACKAGES=1 VELTRANE_TARGETS=package "$repo/scripts/setup.sh" "$build" \
    -DBUILD_TESTING=OFF

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
release="$(sed -n 's/^VELTRANE_PACKAGE_RELEASE:STRING=//p' "$build/CMakeCache.txt")"
deb="$build/veltrane-diagnostic_${version}-${release}_$(dpkg --print-architecture).deb"
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
id=com.veltrane.Diagnostic
desktop="$root/usr/share/applications/$id.desktop"
metainfo="$root/usr/share/metainfo/$id.metainfo.xml"
man="$root/usr/share/man/man1/veltrane-diagnostic.1.gz"

failures=0
fail() {
    echo "package: $*" >&2
    failures=$((failures + 1))
}

# The program is started only where nothing can leave the machine.
help="$("$repo/scripts/isolated.sh" "$root/usr/bin/veltrane-diagnostic" -h)" ||
    fail "the unpacked program's -h failed"
[[ "$help" == "-d --domain="* ]] || fail "unexpected -h output: $help"

# The command reads reports and prints the help on Qt Core alone, and starts
# the program that runs the tests from its place in the package.
runProgram="$root/usr/lib/veltrane-diagnostic/veltrane-diagnostic-run"
[[ "$("$repo/scripts/isolated.sh" "$runProgram" -h)" == "$help" ]] ||
    fail "the run program in /usr/lib/veltrane-diagnostic does not answer -h as the command does"
needed="$(readelf -d "$root/usr/bin/veltrane-diagnostic" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')"
grep 'Qt6' <<<"$needed" | grep -v '^libQt6Core\.' >&2 &&
    fail "the command links more of Qt than Core"

# Hints (two main categories) are allowed; errors and warnings are not.
messages="$(desktop-file-validate "$desktop" 2>&1)" || fail "desktop-file-validate failed"
grep -v ': hint: ' <<<"$messages" | grep . >&2 && fail "desktop-file-validate complained"
icon="$(sed -n 's/^Icon=//p' "$desktop")"
for file in scalable/apps/$icon.svg 48x48/apps/$icon.png 256x256/apps/$icon.png; do
    [[ -f "$root/usr/share/icons/hicolor/$file" ]] || fail "no icon hicolor/$file"
done

appstreamcli validate --no-net "$metainfo" >&2 || fail "appstreamcli validate failed"

warnings="$(zcat "$man" | groff -ww -man -z 2>&1)"
[[ -z "$warnings" ]] || fail "groff warns about the manual page: $warnings"

# The manual's option entries (.TP, a bold names line, the text) read back as
# "names, text" must give the words -h prints, in the same order.
manOptions="$(zcat "$man" | awk '
    /^\.SH/ { inOptions = ($2 == "OPTIONS"); next }
    !inOptions { next }
    /^\.TP/ { if (entry != "") print entry; entry = ""; state = "names"; next }
    /^\./ { next }
    state == "names" { entry = $0 ", "; state = "text"; next }
    state == "text" { entry = entry " " $0 }
    END { if (entry != "") print entry }' |
    sed -e 's/\\f[BIR]//g' -e 's/\\-/-/g' -e 's/\\&//g' -e 's/\\e/\\/g')"
words() { tr -s ' \n' '\n\n' | sed '/^$/d'; }
if ! diff <(words <<<"$manOptions") <(words <<<"$help") >&2; then
    fail "the manual page's options differ from -h (< manual, > -h)"
fi

# Built on Debian 12, it says so: it needs that release's libraries.
debian="$(. /etc/os-release && [[ "${ID:-}" == debian ]] && echo "${VERSION_ID:-}" || true)"
if [[ -n "$debian" && "$(dpkg-deb -f "$deb" Version)" != "$version-1~deb$debian" ]]; then
    fail "the version does not name Debian $debian: $(dpkg-deb -f "$deb" Version)"
fi

depends="$(dpkg-deb -f "$deb" Depends | sed 's/, */\n/g')"
for tool in "bind9-dnsutils | dnsutils" iputils-ping traceroute curl iproute2 procps; do
    grep -qxF "$tool" <<<"$depends" || fail "Depends lacks $tool"
done
grep -q '^libc6 (>=' <<<"$depends" || fail "Depends lacks the computed library dependencies"
[[ "$(dpkg-deb -f "$deb" Recommends)" == "net-tools, qt6-translations-l10n" ]] ||
    fail "Recommends is not net-tools, qt6-translations-l10n"
[[ -f "$root/usr/share/veltrane-diagnostic/translations/veltrane-diagnostic_de.qm" ]] ||
    fail "the German translation is not installed"

if ((failures)); then
    echo "package: $failures checks failed on $deb" >&2
    exit 1
fi
echo "package: $(basename "$deb") checked" >&2
