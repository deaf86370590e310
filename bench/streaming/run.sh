#!/usr/bin/env bash
# Streams 100,000 and 200,000 small deltas (OpenAI chat-completion chunks)
# from a local server through AIClient, through `curl -N` (the floor: bytes
# read, nothing decoded) and through the official openai npm package, and
# prints for each the time to the first partial text, wall time, CPU time and
# peak memory of the whole process (the median of several runs).
#
#   bench/streaming/run.sh [runs]        default: 3 runs of each
#
# Installs the openai package into bench/streaming/node_modules on first use.
# Not a test: run it by hand on a quiet machine.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${WRENLARK_BUILD_DIR:-$root/build}
runs=${1:-3}

"$root/scripts/dev-build" bench_stream_server bench_aiclient_streaming >/dev/null
if [[ ! -d $here/node_modules/openai ]]; then
    (cd "$here" && npm install --no-package-lock --no-audit --no-fund --loglevel=error)
fi

port_file=$(mktemp)
"$build/bench/streaming/bench_stream_server" >"$port_file" &
server=$!
trap 'kill "$server" 2>/dev/null; rm -f "$port_file"' EXIT
until [[ -s $port_file ]]; do sleep 0.05; done
port=$(head -n 1 "$port_file")

# One run of a command: "<first partial ms> <wall s> <cpu s> <peak rss MB>".
# Wall, CPU and memory are the whole process's, from /usr/bin/time; the first
# partial comes from the client's own output (first_partial_ms=...).
run_once() {
    local timing output first
    timing=$(mktemp)
    output=$(/usr/bin/time -f '%e %U %S %M' -o "$timing" "$@" 2>/dev/null)
    first=$(sed -n 's/.*first_partial_ms=\([0-9.]*\).*/\1/p' <<<"$output")
    if [[ -z $first ]]; then # curl: seconds to the first byte
        first=$(sed -n 's/.*first_byte_s=\([0-9.]*\).*/\1/p' <<<"$output" | awk '{ printf "%.1f", $1 * 1000 }')
    fi
    awk -v first="$first" '{ printf "%s %.2f %.2f %.1f\n", first, $1, $2 + $3, $4 / 1024 }' "$timing"
    rm -f "$timing"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

report() { # label, command...
    local label=$1 results
    shift
    results=$(for _ in $(seq "$runs"); do run_once "$@"; done)
    printf '%-8s %-22s %10s ms %7s s %7s s %8s MB\n' "$deltas" "$label" \
        "$(cut -d' ' -f1 <<<"$results" | median)" "$(cut -d' ' -f2 <<<"$results" | median)" \
        "$(cut -d' ' -f3 <<<"$results" | median)" "$(cut -d' ' -f4 <<<"$results" | median)"
}

printf '%-8s %-22s %13s %9s %9s %11s\n' deltas client "first partial" wall cpu "peak memory"
for deltas in 100000 200000; do
    base=http://127.0.0.1:$port/$deltas/v1
    curl -s -X POST -d '{}' -o /dev/null "$base/chat/completions" # the server builds this body once
    # For curl the time to the first byte stands for the first partial text.
    report "curl -N" curl -sN -X POST -H 'Content-Type: application/json' -d '{"stream":true}' \
        -o /dev/null -w 'first_byte_s=%{time_starttransfer}\n' "$base/chat/completions"
    report "AIClient (adapter)" "$build/bench/streaming/bench_aiclient_streaming" "$base/chat/completions"
    report "AIClient (QJsonDoc)" "$build/bench/streaming/bench_aiclient_streaming" "$base/chat/completions" json
    report "openai npm $(node -p "require('$here/node_modules/openai/package.json').version")" \
        node "$here/openai_sdk_stream.mjs" "$base"
done
