#!/usr/bin/env bash
# Makes the certificates of the tests' HTTPS server in the folder given:
#   ca.pem                 the test authority; test builds trust it
#   server.pem, .key       localhost, 127.0.0.1 and results.veltrane.test (a results
#                          host that only a test resolver knows), by the test authority
#   other.pem, .key        other.veltrane.test only, by the test authority
#   untrusted.pem, .key    the names of server.pem, by an authority nobody trusts
# The authorities' keys are thrown away, so nothing more can be issued in their
# names. scripts/setup-test.sh makes a set for each test build.
set -euo pipefail
out="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
cd "$work"

# NAME SUBJECT [ISSUER NAMES]: an EC key and its certificate, an authority's
# without an issuer.
issue() {
    openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=$2" \
        -keyout "$1.key" -out "$1.csr" 2>/dev/null
    if [[ -z "${3:-}" ]]; then
        openssl x509 -req -in "$1.csr" -key "$1.key" -days 3650 -out "$1.pem" -extfile <(
            printf 'basicConstraints=critical,CA:TRUE\nkeyUsage=critical,keyCertSign,cRLSign\n')
    else
        openssl x509 -req -in "$1.csr" -CA "$3.pem" -CAkey "$3.key" -CAcreateserial -days 3650 \
            -out "$1.pem" -extfile <(printf '%s\n' "basicConstraints=critical,CA:FALSE" \
                "keyUsage=critical,digitalSignature" "extendedKeyUsage=serverAuth" \
                "subjectAltName=$4")
    fi 2>/dev/null
}
names="DNS:localhost, DNS:results.veltrane.test, IP:127.0.0.1"
issue test-authority "Veltrane diagnostic test-authority"
issue untrusted-authority "Veltrane diagnostic untrusted-authority"
issue server localhost test-authority "$names"
issue untrusted localhost untrusted-authority "$names"
issue other other.veltrane.test test-authority "DNS:other.veltrane.test"

cp test-authority.pem "$out/ca.pem"
cp server.pem server.key other.pem other.key untrusted.pem untrusted.key "$out/"
openssl verify -CAfile "$out/ca.pem" "$out/server.pem" "$out/other.pem" >/dev/null
