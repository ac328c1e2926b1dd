#!/bin/sh
# Writes the test CA, a server certificate it signed and a self-signed "wrong" one (same key), all valid
# for 100 years; the CA's key is thrown away. Not run by the build: the PEM files beside it are committed.
set -eu
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
names="subjectAltName=DNS:localhost,IP:127.0.0.1,DNS:musicbrainz.org,DNS:coverartarchive.org"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 36500 -subj "/CN=QUARLE test CA" \
    -keyout "$tmp/ca.key" -out ca.pem
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out server.key
openssl req -x509 -new -key server.key -days 36500 -subj "/CN=localhost" -addext "$names" \
    -addext basicConstraints=critical,CA:FALSE -CA ca.pem -CAkey "$tmp/ca.key" -out server.pem
openssl req -x509 -new -key server.key -days 36500 -subj "/CN=localhost" -addext "$names" -out wrong.pem
