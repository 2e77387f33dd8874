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
: >"$work/index.txt"
cat >"$work/ca.cnf" <<CNF
[ca]
default_ca = test
[test]
database = $work/index.txt
new_certs_dir = $work
serial = $work/serial
policy = anything
unique_subject = no
[anything]
commonName = supplied
[authority]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[server]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = \$ENV::NAMES
authorityKeyIdentifier = keyid
subjectKeyIdentifier = hash
CNF

# NAME SUBJECT EXTENSIONS [ISSUER]: an EC key and its certificate, valid from
# well before today so that a machine whose clock lags behind accepts it.
issue() {
    local issuer=(-selfsign -keyfile "$work/$1.key")
    [[ -z "${4:-}" ]] || issuer=(-cert "$work/$4.pem" -keyfile "$work/$4.key")
    openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "$2" \
        -keyout "$work/$1.key" -out "$work/$1.csr" 2>/dev/null
    openssl ca -batch -notext -config "$work/ca.cnf" -md sha256 -create_serial "${issuer[@]}" \
        -extensions "$3" -startdate 20200101000000Z -enddate 20560101000000Z \
        -in "$work/$1.csr" -out "$work/$1.pem" 2>/dev/null
}
export NAMES="DNS:localhost, DNS:results.veltrane.test, IP:127.0.0.1"
issue test-authority "/CN=Veltrane diagnostic test-authority" authority
issue untrusted-authority "/CN=Veltrane diagnostic untrusted-authority" authority
issue server /CN=localhost server test-authority
issue untrusted /CN=localhost server untrusted-authority
NAMES="DNS:other.veltrane.test" issue other /CN=other.veltrane.test server test-authority

cp "$work/test-authority.pem" "$out/ca.pem"
for name in server other untrusted; do
    cp "$work/$name.pem" "$work/$name.key" "$out/"
done
openssl verify -CAfile "$out/ca.pem" "$out/server.pem" "$out/other.pem" >/dev/null
