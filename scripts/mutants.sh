#!/usr/bin/env bash
# Breaks the code on purpose, one realistic fault at a time, and checks that the
# tests named for each fault fail. Works on a copy of the sources with a test
# build of its own (in .mutants/, ignored by git), never on the sources.
# Usage: scripts/mutants.sh [PATTERN]   (only the mutants whose name matches)
#        scripts/mutants.sh --check   (only checks that each entry parses, names
#                                      known tests and finds its text once)
# Run scripts/setup-test.sh first: the copy uses its packages and certificates.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [[ "${1:-}" == --check ]]; then
    exec python3 - "$repo" <<'PY'
import os, re, sys
repo = sys.argv[1]
listing = open(os.path.join(repo, "scripts/mutants.txt")).read()
mutants = re.findall(r"^== (.+?) \| (\S+) \| (\S+)\n<<<\n(.*?)\n---\n(.*?)\n?>>>$", listing, re.S | re.M)
known = set(re.findall(r"\btst_\w+", open(os.path.join(repo, "tests/CMakeLists.txt")).read()))
faults = []
if len(mutants) != listing.count("\n== "):
    faults.append(f"{listing.count(chr(10) + '== ')} entries begin, {len(mutants)} parse")
for name, tests, path, old, new in mutants:
    faults += [f"{name}: no test {t}" for t in tests.split(",") if t not in known]
    file = os.path.join(repo, path)
    count = open(file).read().count(old) if os.path.isfile(file) else -1
    if count != 1:
        faults.append(f"{name}: " + (f"no file {path}" if count < 0 else f"{count} times in {path}"))
    elif old == new:
        faults.append(f"{name}: changes nothing")
print("\n".join(faults + [f"{len(mutants)} entries, {len(faults)} faults"]))
sys.exit(1 if faults else 0)
PY
fi
copy="$repo/.mutants/repo"
mkdir -p "$copy"
# Only files that changed are written, so that the build there stays incremental.
git -C "$repo" ls-files -co --exclude-standard -z | python3 -c '
import os, shutil, sys
repo, copy = sys.argv[1:]
wanted = {p for p in sys.stdin.read().split("\0") if p and os.path.isfile(os.path.join(repo, p))}
for root, dirs, files in os.walk(copy):
    dirs[:] = [d for d in dirs if os.path.relpath(os.path.join(root, d), copy) != "build-test"]
    for name in files:
        if os.path.relpath(os.path.join(root, name), copy) not in wanted:
            os.remove(os.path.join(root, name))
for path in wanted:
    source, target = os.path.join(repo, path), os.path.join(copy, path)
    if not os.path.exists(target) or open(source, "rb").read() != open(target, "rb").read():
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy2(source, target)
        os.utime(target)
' "$repo" "$copy"
# Same layout as the real test build, so that ccache can reuse its objects.
cmake -S "$copy" -B "$copy/build-test" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELTRANE_ENDPOINTS_FILE="$copy/config/loopback.endpoints" \
    -DVELTRANE_EXTRA_CA_FILE="$repo/build-test/test-certificates/ca.pem" >/dev/null
cmake --build "$copy/build-test" >/dev/null

python3 - "$repo" "$copy" "${1:-}" "$repo/scripts/mutants.txt" <<'PY'
import os, re, subprocess, sys
repo, copy, pattern, listing = sys.argv[1:]
mutants = re.findall(r"^== (.+?) \| (\S+) \| (\S+)\n<<<\n(.*?)\n---\n(.*?)\n?>>>$",
                     open(listing).read(), re.S | re.M)
build = os.path.join(copy, "build-test")
tried = caught = 0
missed, broken = [], []
for name, tests, path, old, new in mutants:
    if pattern and pattern not in name:
        continue
    target = os.path.join(copy, path)
    original = open(os.path.join(repo, path)).read()
    if original.count(old) != 1:
        broken.append(f"{name}: the text to change is not in {path} exactly once")
        continue
    tried += 1
    try:
        open(target, "w").write(original.replace(old, new))
        targets = [a for t in tests.split(",") for a in ("--target", t)]
        built = subprocess.run(["cmake", "--build", build] + targets,
                               capture_output=True).returncode == 0
        if not built:
            broken.append(f"{name}: does not build")
            continue
        run = subprocess.run([os.path.join(repo, "scripts/isolated.sh"), "ctest", "--test-dir",
                              build, "--timeout", "300", "-R", "^(" + tests.replace(",", "|") + ")$"],
                             capture_output=True)
        if run.returncode != 0:
            caught += 1
            print(f"caught    {name}", flush=True)
        else:
            missed.append(name)
            print(f"SURVIVED  {name} ({tests})", flush=True)
    finally:
        open(target, "w").write(original)
print(f"\n{tried} mutants tried, {caught} caught")
for line in missed:
    print("survived:", line)
for line in broken:
    print("not run:", line)
sys.exit(1 if missed or broken else 0)
PY
