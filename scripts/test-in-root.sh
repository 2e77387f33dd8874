#!/usr/bin/env bash
# Shows that a new user of a Debian release gets from nothing a passing suite
# and a package that works: in a fresh minimal root of RELEASE it clones the
# committed tree to /src and runs scripts/test.sh there as root, builds the
# package again with the loopback endpoints, installs that package with apt-get
# into a second fresh root (every tool it needs comes from the archive) and runs
# -h and one battery (-s -c) there inside a private network namespace with only
# loopback up. No command of the battery may fail to start.
# Usage: scripts/test-in-root.sh RELEASE   (a Debian release: trixie, bookworm)
# Run as root. The clean root is made once with debootstrap and kept, beside
# apt's downloads and ccache's objects for that release, in VELTRANE_ROOT_CACHE
# (default ${XDG_CACHE_HOME:-$HOME/.cache}/veltrane-diagnostic/roots); each run
# works on copies there and removes them at the end. VELTRANE_KEEP_ROOT=1 keeps
# the copies of a failed run. The logs of the last run go to build-root/RELEASE/.
set -euo pipefail

if [[ "${VELTRANE_ROOT_NAMESPACE:-}" != "$$" ]]; then
    if [[ "$(id -u)" != 0 ]]; then
        echo "test-in-root: run this as root: it mounts and chroots" >&2
        exit 1
    fi
    # Every mount is made in a mount namespace of this run's own, so that none
    # outlives the run even if it is killed before its cleanup. unshare execs:
    # the process, and so $$, stays the same.
    VELTRANE_ROOT_NAMESPACE=$$ exec unshare --mount --propagation private -- \
        bash "${BASH_SOURCE[0]}" "$@"
fi

release="${1:-}"
if [[ ! "$release" =~ ^[a-z]+$ ]]; then
    echo "usage: scripts/test-in-root.sh RELEASE   (e.g. trixie, bookworm)" >&2
    exit 2
fi
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cache="${VELTRANE_ROOT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/veltrane-diagnostic/roots}"
clean="$cache/$release"
aptCache="$cache/$release.apt"
ccacheDir="$cache/$release.ccache"
logs="$repo/build-root/$release"
mirror=http://deb.debian.org/debian
export PATH="$PATH:/usr/sbin:/sbin"
rootPath=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin

started=$SECONDS
step="starting"
problems=() # what failed, for the last line
passed=()   # what passed
work=""
mounts=() # in the order made; undone in reverse
copies=()
removals=() # the deletions still running

say() { echo "test-in-root $release: $*" >&2; }
fail() {
    problems+=("$*")
    exit 1
}
since() {
    local s=$((SECONDS - $1))
    printf '%dm%02ds' $((s / 60)) $((s % 60))
}

# A long command runs in the background so that a signal to this script is
# handled at once, not when the command ends.
run() {
    "$@" </dev/null &
    wait "$!"
}

# COPY COMMAND...: runs the command as root in the copy with the plain
# environment of a login.
inRoot() {
    local copy="$1"
    shift
    run chroot "$copy" /usr/bin/env -i PATH="$rootPath" HOME=/root LOGNAME=root USER=root \
        TERM="${TERM:-dumb}" "$@"
}

# TARGET MOUNT-ARGUMENTS...
mountAt() {
    local target="$1"
    shift
    mkdir -p "$target"
    mount "$@" "$target"
    mounts+=("$target")
}

# The mount points at or below a folder, as findmnt sees them.
mountedUnder() {
    local target
    findmnt -rn -o TARGET | while IFS= read -r target; do
        target="$(printf '%b' "$target")" # findmnt writes a blank as \x20
        if [[ "$target" == "$1" || "$target" == "$1"/* ]]; then
            echo "$target"
        fi
    done
}

# The processes whose root is the copy or below it: only this run starts any.
processesIn() {
    local pid root
    for pid in /proc/[0-9]*; do
        root="$(readlink "$pid/root" 2>/dev/null)" || continue
        if [[ "$root" == "$1" || "$root" == "$1"/* ]]; then
            echo "${pid#/proc/}"
        fi
    done
}

endProcessesIn() {
    local pids tries
    mapfile -t pids < <(processesIn "$1")
    ((${#pids[@]})) || return 0
    say "ending what still runs in $1: ${pids[*]}"
    kill -TERM "${pids[@]}" 2>/dev/null || true
    for ((tries = 0; tries < 50; tries++)); do
        sleep 0.2
        mapfile -t pids < <(processesIn "$1")
        ((${#pids[@]})) || return 0
    done
    kill -KILL "${pids[@]}" 2>/dev/null || true
    sleep 1
}

# Ends what runs in the copy and unmounts everything mounted there, innermost
# first; fails when something is still mounted, and the copy must not then be
# deleted: the deletion would go on into the host's folders.
releaseCopy() {
    local copy="$1" i target left
    local others=()
    endProcessesIn "$copy"
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        target="${mounts[i]}"
        if [[ "$target" == "$copy" || "$target" == "$copy"/* ]]; then
            umount -R "$target" 2>/dev/null || umount -R -l "$target" ||
                say "could not unmount $target"
        else
            others=("$target" "${others[@]}")
        fi
    done
    mounts=("${others[@]}")
    left="$(mountedUnder "$copy")"
    if [[ -n "$left" ]]; then
        say "still mounted, so $copy is left in place: $(tr '\n' ' ' <<<"$left")"
        return 1
    fi
}

# Deleting a root takes up to a minute on this disk: the next step does not
# wait for it, the end of the run does.
removeCopy() {
    releaseCopy "$1" || return 1
    rm -rf --one-file-system "$1" &
    removals+=("$!")
    local i others=()
    for i in "${copies[@]}"; do
        [[ "$i" == "$1" ]] || others+=("$i")
    done
    copies=("${others[@]}")
}

cleanup() {
    local status=$? copy kept pid released=1
    trap - EXIT INT TERM
    set +e
    for copy in "${copies[@]}"; do
        releaseCopy "$copy" || released=0
    done
    for pid in "${removals[@]}"; do
        wait "$pid"
    done
    if [[ -n "$work" ]]; then
        if [[ -n "$(mountedUnder "$work")" ]] || ((!released)); then
            status=1
            problems+=("could not unmount everything under $work")
        elif ((status != 0)) && [[ "${VELTRANE_KEEP_ROOT:-0}" == 1 ]]; then
            kept="$cache/kept-${work##*/run-}"
            mv "$work" "$kept" &&
                say "kept the copies in $kept (nothing is mounted there; delete it when done)"
        else
            rm -rf --one-file-system "$work"
        fi
    fi
    local IFS=';'
    if ((status == 0)); then
        echo "test-in-root $release: passed:${passed[*]/#/ } ($(since "$started"))" >&2
    else
        ((${#problems[@]})) || problems=("failed while $step")
        echo "test-in-root $release: FAILED:${problems[*]/#/ }${passed[*]:+ (passed:}${passed[*]/#/ }${passed[*]:+)}" \
            "($(since "$started"))" >&2
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'problems+=("interrupted while $step"); exit 130' INT
trap 'problems+=("stopped while $step"); exit 143' TERM

# NAME: a fresh copy of the clean root in this run's folder, with what an
# installed system has and debootstrap leaves out: localhost in /etc/hosts, a
# resolver, / as a mount point (for mount namespaces inside), /proc, /sys,
# /dev and a /run of its own; apt's downloads are kept outside. Sets $copy.
freshCopy() {
    copy="$work/$1"
    copies+=("$copy")
    cp -a "$clean" "$copy"
    printf '127.0.0.1\tlocalhost\n::1\t\tlocalhost ip6-localhost ip6-loopback\n' >"$copy/etc/hosts"
    rm -f "$copy/etc/resolv.conf"
    cp -L /etc/resolv.conf "$copy/etc/resolv.conf"
    # The copy is thrown away: dpkg's syncing for crash safety only costs time.
    echo force-unsafe-io >"$copy/etc/dpkg/dpkg.cfg.d/veltrane-unsafe-io"
    # Nothing installed there may start a service that outlives the run.
    printf '#!/bin/sh\nexit 101\n' >"$copy/usr/sbin/policy-rc.d"
    chmod 755 "$copy/usr/sbin/policy-rc.d"

    mountAt "$copy" --bind "$copy"
    mountAt "$copy/proc" -t proc proc
    mountAt "$copy/sys" -t sysfs sysfs
    mountAt "$copy/dev" --rbind /dev
    mountAt "$copy/run" -t tmpfs -o mode=755,nosuid,nodev tmpfs
    mkdir -m 1777 "$copy/run/lock"
    mkdir -p "$aptCache/archives/partial" "$aptCache/lists/partial"
    mountAt "$copy/var/cache/apt/archives" --bind "$aptCache/archives"
    mountAt "$copy/var/lib/apt/lists" --bind "$aptCache/lists"
}

mkdir -p "$cache" "$logs"
rm -f "$logs"/*

# Copies left by a run that was killed: their mounts went with its namespace.
for old in "$cache/run-"*; do
    [[ -d "$old" ]] || continue
    pid="$(cat "$old/pid" 2>/dev/null || true)"
    if [[ -n "$pid" ]] && kill -0 "$pid" 2>/dev/null; then
        continue
    fi
    if [[ -z "$(mountedUnder "$old")" ]]; then
        rm -rf --one-file-system "$old"
    fi
done

step="making the clean $release root"
if [[ ! -d "$clean" ]]; then
    if ! command -v debootstrap >/dev/null; then
        say "installing debootstrap"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null
    fi
    # One run makes it; another waiting here then finds it made.
    exec 9>"$cache/.$release.lock"
    flock 9
    if [[ ! -d "$clean" ]]; then
        rm -rf --one-file-system "$cache/.partial-$release."*
        partial="$(mktemp -d "$cache/.partial-$release.XXXXXX")"
        chmod 755 "$partial" # the root's /: apt downloads as a user of its own
        t=$SECONDS
        say "making the clean root with debootstrap, once: $clean"
        if ! run debootstrap --variant=minbase "$release" "$partial" "$mirror" \
            >"$logs/debootstrap.log" 2>&1; then
            tail -n 20 "$logs/debootstrap.log" >&2
            fail "debootstrap $release failed (log: $logs/debootstrap.log)"
        fi
        # Only a finished root gets the name that says it is there.
        mv -T "$partial" "$clean"
        say "made the clean root in $(since $t)"
    fi
    exec 9>&-
fi

head="$(git -C "$repo" rev-parse HEAD)"
if [[ -n "$(git -C "$repo" status --porcelain --untracked-files=no)" ]]; then
    say "note: testing the committed $head; the changes not committed are left out"
fi
work="$(mktemp -d "$cache/run-$release.XXXXXX")"
echo $$ >"$work/pid"

step="running scripts/test.sh in a fresh $release root"
t=$SECONDS
freshCopy test
testRoot="$copy"
mkdir -p "$ccacheDir"
mountAt "$testRoot/root/.cache/ccache" --bind "$ccacheDir"
git clone -q --no-checkout "$repo" "$testRoot/src"
git -C "$testRoot/src" checkout -q --detach "$head"
say "running scripts/test.sh in a fresh root, on $(git -C "$repo" log -1 --format='%h %s' "$head")"
testsPassed=1
inRoot "$testRoot" /bin/sh -c 'cd /src && exec scripts/test.sh' || testsPassed=0
for log in build-test/ctest.log build-test/setup.log build/setup.log; do
    if [[ -f "$testRoot/src/$log" ]]; then
        cp "$testRoot/src/$log" "$logs/${log//\//-}"
    fi
done
if ((testsPassed)); then
    say "scripts/test.sh passed in $(since $t)"
    passed+=("scripts/test.sh")
else
    if [[ -f "$logs/build-test-ctest.log" ]]; then
        # ctest lists them as "  20 - tst_windowless (Failed)".
        failedTests="$(sed -n '/^The following tests FAILED:/,$s/^[[:space:]]*[0-9]* - \([^ ]*\) .*/\1/p' \
            "$logs/build-test-ctest.log" | paste -sd ' ')"
        problems+=("scripts/test.sh failed${failedTests:+ (failed: $failedTests)}, logs in $logs/")
    else
        problems+=("scripts/test.sh failed before the tests ran, logs in $logs/")
    fi
    # The package and its battery are checked all the same: the suite's
    # failure says nothing of them.
    say "scripts/test.sh failed after $(since $t); going on with the package"
fi

# test.sh's package has the real endpoints: the one that runs a battery here is
# made again from the same build with every endpoint on loopback.
step="building the package with the loopback endpoints"
t=$SECONDS
rm -f "$testRoot/src/build/veltrane-diagnostic_"*.deb
if ! inRoot "$testRoot" /bin/sh -c 'cd /src && VELTRANE_TARGETS=package exec scripts/setup.sh \
        /src/build -DBUILD_TESTING=OFF -DVELTRANE_ENDPOINTS_FILE=/src/config/loopback.endpoints'; then
    fail "the package with the loopback endpoints did not build"
fi
debs=("$testRoot/src/build/veltrane-diagnostic_"*.deb)
[[ ${#debs[@]} == 1 && -f "${debs[0]}" ]] || fail "expected one package in build/, found: ${debs[*]}"
deb="$work/$(basename "${debs[0]}")"
cp "${debs[0]}" "$deb"
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/veltrane-diagnostic/endpoints.conf |
    cmp -s - "$testRoot/src/config/loopback.endpoints" ||
    fail "$(basename "$deb") does not hold the loopback endpoints: its battery is not run"
cp "$testRoot/src/scripts/isolated.sh" "$work/isolated.sh"
say "built $(basename "$deb") in $(since $t)"
step="removing the first root"
removeCopy "$testRoot" || fail "could not unmount the first root"

step="installing $(basename "$deb") into a second fresh $release root"
t=$SECONDS
freshCopy install
installRoot="$copy"
cp "$deb" "$work/isolated.sh" "$installRoot/tmp/"
# shellcheck disable=SC2016 # $1 is the inner shell's
if ! inRoot "$installRoot" /bin/sh -c 'cd /tmp && apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y "./$1"' sh "$(basename "$deb")" \
    >"$logs/install.log" 2>&1; then
    tail -n 20 "$logs/install.log" >&2
    fail "apt-get install ./$(basename "$deb") failed (log: $logs/install.log)"
fi
say "installed it with $(grep -c '^Setting up ' "$logs/install.log") packages in $(since $t)"

step="running the installed program in a namespace with only loopback"
help="$(inRoot "$installRoot" /tmp/isolated.sh veltrane-diagnostic -h 2>&1)" ||
    fail "veltrane-diagnostic -h failed: $help"
[[ "$help" == "-d --domain="* ]] || fail "veltrane-diagnostic -h printed no usage: $help"

t=$SECONDS
report="$logs/battery.txt"
status=0
inRoot "$installRoot" /tmp/isolated.sh veltrane-diagnostic -s -c >"$report" 2>"$logs/battery.stderr" ||
    status=$?
((status == 0)) || fail "veltrane-diagnostic -s -c exited with $status: $(tail -n 5 "$logs/battery.stderr")"
blocks="$(grep -c -- '^-\{45\}Results for: ' "$report" || true)"
((blocks > 0)) || fail "the battery printed no result block (report: $report)"
# The runner's closing line for a command it could not start, the program's
# notice for a tool it did not find, and the shell's for a tool a command
# line names.
notStarted="$(grep -E '^could not start ' "$report" || true)"
[[ -z "$notStarted" ]] || fail "in the battery of the installed package, $(grep -c . <<<"$notStarted") commands could not start:
$notStarted"
notFound="$(grep -E ' not found: install ' "$logs/battery.stderr" || true)"
[[ -z "$notFound" ]] || fail "the installed program misses tools:
$notFound"
shellNotFound="$(grep -E '^(\S*/)?sh: (line )?[0-9]+: \S+: (command )?not found' "$report" || true)"
[[ -z "$shellNotFound" ]] || fail "commands of the battery name tools that are not installed:
$shellNotFound"
say "the battery ran $blocks commands in $(since $t), every one started (report: $report)"
passed+=("$(basename "$deb") installed from the archive and started all $blocks commands of a battery")
step="removing the second root"
removeCopy "$installRoot" || fail "could not unmount the second root"

step="checking that nothing is left mounted"
left="$(mountedUnder "$work")"
[[ -z "$left" ]] || fail "still mounted: $left"
((${#problems[@]} == 0)) || exit 1
