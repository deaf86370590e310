#!/usr/bin/env bash
# Times the command line's start: `wrenlark --version`, and `wrenlark toggle`
# with the resident application running (each call opens or closes the bar),
# as whole processes: the median wall and CPU time of the runs. With another build's `wrenlark` as second argument both run in turn,
# A B A B…, and the median of the pairwise ratios (this build / other) is
# printed too, which holds when the machine's load drifts.
#
#   bench/cli/startup.sh [runs] [other wrenlark]     default: 30 runs
#
# Runs inside tests/support/desktop-session (the resident application needs a
# desktop and a session bus). Not a test: run it by hand.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${WRENLARK_BUILD_DIR:-$root/build}
runs=${1:-30}
other=${2:-}

if [[ -z ${WRENLARK_DESKTOP_TOKEN:-} ]]; then
    "$root/scripts/dev-build" wrenlark >/dev/null
    exec "$root/tests/support/desktop-session" "$0" "$@"
fi

wrenlark=$build/src/wrenlark
mkdir -p "$XDG_CONFIG_HOME/Wrenlark"
printf '[General]\ndid_complete_onboarding=true\n' >"$XDG_CONFIG_HOME/Wrenlark/Wrenlark.conf"
"$wrenlark" >/dev/null 2>&1 &
resident=$!
trap '"$wrenlark" quit >/dev/null 2>&1; wait "$resident"' EXIT
until "$wrenlark" toggle >/dev/null 2>&1; do sleep 0.1; done

# "<wall s> <cpu s>" of one run: the process's own figures from wait4(2),
# in microseconds (/usr/bin/time rounds to 10 ms), started with posix_spawn
# so that little of the timing process is counted (/bin/true measures about
# 1 ms of wall and 0.7 ms of CPU time here).
run_once() {
    python3 -c '
import os, sys, time
null = [(os.POSIX_SPAWN_OPEN, fd, os.devnull, os.O_RDWR, 0) for fd in (0, 1, 2)]
start = time.monotonic()
pid = os.posix_spawn(sys.argv[1], sys.argv[1:], os.environ, file_actions=null)
_, _, usage = os.wait4(pid, 0)
print("%.6f %.6f" % (time.monotonic() - start, usage.ru_utime + usage.ru_stime))
' "$@"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

printf '%-26s %10s %10s %16s %16s\n' command wall cpu "wall / other" "cpu / other"
for command in --version toggle; do
    results=() pairs=()
    for _ in $(seq "$runs"); do
        read -r wall cpu < <(run_once "$wrenlark" "$command")
        results+=("$wall $cpu")
        if [[ -n $other ]]; then
            read -r other_wall other_cpu < <(run_once "$other" "$command")
            pairs+=("$(awk -v a="$wall" -v b="$other_wall" -v c="$cpu" -v d="$other_cpu" \
                'BEGIN { printf "%.3f %.3f", (b > 0 ? a / b : 0), (d > 0 ? c / d : 0) }')")
        fi
    done
    wall=$(printf '%s\n' "${results[@]}" | cut -d' ' -f1 | median)
    cpu=$(printf '%s\n' "${results[@]}" | cut -d' ' -f2 | median)
    wall_ratio=- cpu_ratio=-
    if [[ -n $other ]]; then
        wall_ratio=$(printf '%s\n' "${pairs[@]}" | cut -d' ' -f1 | median)
        cpu_ratio=$(printf '%s\n' "${pairs[@]}" | cut -d' ' -f2 | median)
    fi
    printf '%-26s %8.1f ms %8.1f ms %16s %16s\n' "wrenlark $command" \
        "$(awk -v s="$wall" 'BEGIN { print s * 1000 }')" "$(awk -v s="$cpu" 'BEGIN { print s * 1000 }')" \
        "$wall_ratio" "$cpu_ratio"
done
