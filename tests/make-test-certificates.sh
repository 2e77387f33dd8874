#!/usr/bin/env bash
# Makes the certificates of the tests' HTTPS server in the folder given:
#   ca.pem                    the test authority; test builds trust it
#   server.pem, server.key    localhost / 127.0.0.1 and results.veltrane.test (a
#                             results host that only a test resolver knows),
#                             issued by the test authority
#   other.pem, other.key      other.veltrane.test only, issued by the test authority
#   untrusted.pem, .key       the names of server.pem, issued by an authority nobody trusts
# The authorities' keys are thrown away, so no further certificate can be issued
# in their names. scripts/setup-test.sh makes a set for each test build.
set -euo pipefail
out="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

cat >"$work/ca.ext" <<'EXT'
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
EXT
server_ext() { # FILE NAMES
    cat >"$1" <<EXT
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = $2
authorityKeyIdentifier = keyid
subjectKeyIdentifier = hash
EXT
}
server_ext "$work/server.ext" "DNS:localhost, DNS:results.veltrane.test, IP:127.0.0.1"
server_ext "$work/other.ext" "DNS:other.veltrane.test"

# Valid from well before today, so that a machine whose clock lags behind
# still accepts them.
cat >"$work/ca.cnf" <<CNF
[ca]
default_ca = test
[test]
database = $work/index.txt
new_certs_dir = $work
serial = $work/serial
default_md = sha256
policy = anything
unique_subject = no
[anything]
commonName = supplied
CNF
: >"$work/index.txt"
echo 01 >"$work/serial"

sign() { # CSR EXTENSIONS OUT [ISSUER]
    local issuer=()
    if [[ -n "${4:-}" ]]; then
        issuer=(-cert "$work/$4.pem" -keyfile "$work/$4.key")
    else
        issuer=(-selfsign -keyfile "$work/$(basename "$1" .csr).key")
    fi
    openssl ca -batch -notext -config "$work/ca.cnf" "${issuer[@]}" -in "$1" \
        -startdate 20200101000000Z -enddate 20560101000000Z -extfile "$2" -out "$3" 2>/dev/null
}
request() { # NAME SUBJECT: an EC key and a signing request
    openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes \
        -keyout "$work/$1.key" -out "$work/$1.csr" -subj "$2" 2>/dev/null
}
authority() { # NAME
    request "$1" "/CN=Veltrane diagnostic $1"
    sign "$work/$1.csr" "$work/ca.ext" "$work/$1.pem"
}
server() { # NAME ISSUER [EXTENSIONS COMMON-NAME]
    request "$1" "/CN=${4:-localhost}"
    sign "$work/$1.csr" "$work/${3:-server}.ext" "$work/$1.pem" "$2"
}

authority test-authority
authority untrusted-authority
server server test-authority
server other test-authority other other.veltrane.test
server untrusted untrusted-authority

cp "$work/test-authority.pem" "$out/ca.pem"
for name in server other untrusted; do
    cp "$work/$name.pem" "$work/$name.key" "$out/"
done
openssl verify -CAfile "$out/ca.pem" "$out/server.pem" "$out/other.pem" >/dev/null
