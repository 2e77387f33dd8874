#!/usr/bin/env bash
# Makes the certificates of the tests' HTTPS server in the folder given:
#   ca.pem                 the test authority; a test build trusts it
#   server.pem, .key       localhost / 127.0.0.1, issued by the test authority
#   untrusted.pem, .key    the same names, issued by an authority nobody trusts
# The authorities' keys are thrown away, so nothing else can be issued in their
# names. scripts/setup-test.sh makes a set for each test build.
set -euo pipefail
out="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
key=(-newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes)
printf '%s\n' "subjectAltName = DNS:localhost, IP:127.0.0.1" "extendedKeyUsage = serverAuth" \
    "basicConstraints = critical, CA:FALSE" >"$work/server.ext"
for name in server untrusted; do
    openssl req -x509 "${key[@]}" -days 3650 -subj "/CN=Veltrane diagnostic $name authority" \
        -addext "keyUsage = critical, keyCertSign" -keyout "$work/ca.key" -out "$work/ca.pem" 2>/dev/null
    openssl req -new "${key[@]}" -subj "/CN=localhost" -keyout "$out/$name.key" -out "$work/req" 2>/dev/null
    openssl x509 -req -in "$work/req" -CA "$work/ca.pem" -CAkey "$work/ca.key" -CAcreateserial \
        -days 3650 -extfile "$work/server.ext" -out "$out/$name.pem" 2>/dev/null
    if [[ $name == server ]]; then cp "$work/ca.pem" "$out/ca.pem"; fi
done
openssl verify -CAfile "$out/ca.pem" "$out/server.pem" >/dev/null
