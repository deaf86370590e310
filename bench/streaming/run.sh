#!/usr/bin/env bash
# Streams 100,000 and 200,000 small deltas (OpenAI chat-completion chunks)
# from a local server and reads them, in one run, with `curl -N` (the floor:
# bytes read, nothing decoded), with AIClient alone, with the command line end
# to end (`wrenlark ask`, printing the reply) and with the official openai npm
# package. For each it prints the time to the first partial text, wall time,
# CPU time and peak memory of the whole process (the median of several runs),
# then the 200k/100k CPU ratio of each client and the command line's figures
# against curl's and the npm package's.
#
#   bench/streaming/run.sh [runs]        default: 3 runs of each
#
# WRENLARK_COMPARE=PATH adds a row for another build's `wrenlark ask`, run
# the same way right after this build's.
#
# The command line reads its key from the keyring, so the whole run happens
# inside tests/support/desktop-session (a private keyring and home folder).
# Installs the openai package into bench/streaming/node_modules on first use.
# Not a test: run it by hand on a quiet machine.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${WRENLARK_BUILD_DIR:-$root/build}
runs=${1:-3}

if [[ -z ${WRENLARK_DESKTOP_TOKEN:-} ]]; then
    "$root/scripts/dev-build" bench_stream_server bench_aiclient_streaming wrenlark >/dev/null
    if [[ ! -d $here/node_modules/openai ]]; then
        (cd "$here" && npm install --no-package-lock --no-audit --no-fund --loglevel=error)
    fi
    exec "$root/tests/support/desktop-session" "$0" "$@"
fi

wrenlark=$build/src/wrenlark
echo bench | "$wrenlark" key set openai >/dev/null
mkdir -p "$XDG_CONFIG_HOME/Wrenlark"

port_file=$(mktemp)
"$build/bench/streaming/bench_stream_server" >"$port_file" &
server=$!
trap 'kill "$server" 2>/dev/null; rm -f "$port_file"' EXIT
until [[ -s $port_file ]]; do sleep 0.05; done
port=$(head -n 1 "$port_file")

# One run of a command: "<first partial ms> <wall s> <cpu s> <peak rss MB>".
# Wall, CPU and memory are the whole process's, from /usr/bin/time; the first
# partial comes from the client's own output (first_partial_ms=...), "-" when
# it prints none.
run_once() {
    local timing output first
    timing=$(mktemp)
    output=$(/usr/bin/time -f '%e %U %S %M' -o "$timing" "$@" </dev/null 2>/dev/null)
    first=$(sed -n 's/.*first_partial_ms=\([0-9.]*\).*/\1/p' <<<"$output")
    if [[ -z $first ]]; then # curl: seconds to the first byte
        first=$(sed -n 's/.*first_byte_s=\([0-9.]*\).*/\1/p' <<<"$output" | awk '{ printf "%.1f", $1 * 1000 }')
    fi
    awk -v first="${first:--}" '{ printf "%s %.2f %.2f %.1f\n", first, $1, $2 + $3, $4 / 1024 }' "$timing"
    rm -f "$timing"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

declare -A cpu wall memory
report() { # key, label, command...
    local key=$1 label=$2 results first
    shift 2
    results=$(for _ in $(seq "$runs"); do run_once "$@"; done)
    first=$(cut -d' ' -f1 <<<"$results" | median)
    wall[$key.$deltas]=$(cut -d' ' -f2 <<<"$results" | median)
    cpu[$key.$deltas]=$(cut -d' ' -f3 <<<"$results" | median)
    memory[$key.$deltas]=$(cut -d' ' -f4 <<<"$results" | median)
    printf '%-8s %-22s %10s ms %7s s %7s s %8s MB\n' "$deltas" "$label" "${first:--}" \
        "${wall[$key.$deltas]}" "${cpu[$key.$deltas]}" "${memory[$key.$deltas]}"
}

# The command line prints the reply to standard output, which goes nowhere
# (sh execs it, so the figures are the command line's own).
ask=(sh -c 'exec "$0" ask --provider openai --model m go >/dev/null' "$wrenlark")

npm_label="openai npm $(node -p "require('$here/node_modules/openai/package.json').version")"
printf '%-8s %-22s %13s %9s %9s %11s\n' deltas client "first partial" wall cpu "peak memory"
for deltas in 100000 200000; do
    base=http://127.0.0.1:$port/$deltas/v1
    curl -s -X POST -d '{}' -o /dev/null "$base/chat/completions" # the server builds this body once
    printf '{"providers":[{"id":"openai","endpoint":"%s","models":[{"id":"m"}]}]}\n' \
        "$base/chat/completions" >"$XDG_CONFIG_HOME/Wrenlark/model-catalog.json"
    # For curl the time to the first byte stands for the first partial text.
    report curl "curl -N" curl -sN -X POST -H 'Content-Type: application/json' -d '{"stream":true}' \
        -o /dev/null -w 'first_byte_s=%{time_starttransfer}\n' "$base/chat/completions"
    report ask "wrenlark ask" "${ask[@]}"
    if [[ -n ${WRENLARK_COMPARE:-} ]]; then
        report other "wrenlark ask (compared)" sh -c 'exec "$0" ask --provider openai --model m go >/dev/null' "$WRENLARK_COMPARE"
    fi
    report client "AIClient (adapter)" "$build/bench/streaming/bench_aiclient_streaming" "$base/chat/completions"
    report json "AIClient (QJsonDoc)" "$build/bench/streaming/bench_aiclient_streaming" "$base/chat/completions" json
    report npm "$npm_label" node "$here/openai_sdk_stream.mjs" "$base"
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
echo
printf '%-22s %s\n' client "CPU 200k/100k"
for key in curl ask client json npm; do
    printf '%-22s %s\n' "$key" "$(ratio "${cpu[$key.200000]}" "${cpu[$key.100000]}")"
done
echo
echo "wrenlark ask at 100,000 deltas:"
echo "  CPU / npm CPU      $(ratio "${cpu[ask.100000]}" "${cpu[npm.100000]}")   (goal: at most 0.10)"
echo "  CPU / curl CPU     $(ratio "${cpu[ask.100000]}" "${cpu[curl.100000]}")   (goal: at most 3)"
echo "  wall / curl wall   $(ratio "${wall[ask.100000]}" "${wall[curl.100000]}")   (goal: at most 1.1)"
echo "  memory / npm       $(ratio "${memory[ask.100000]}" "${memory[npm.100000]}")   (goal: at most 0.25)"
