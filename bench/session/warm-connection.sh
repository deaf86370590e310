#!/usr/bin/env bash
# Runs bench_warm_connection with a throw-away self-signed certificate.
#   bench/session/warm-connection.sh [rounds] [delay-ms each way]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build_dir=${WRENLARK_BUILD_DIR:-$root/build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost \
    -addext subjectAltName=DNS:localhost -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
"$build_dir/bench/session/bench_warm_connection" --cert "$work/cert.pem" --key "$work/key.pem" \
    --rounds "${1:-15}" --delay-ms "${2:-40}"
