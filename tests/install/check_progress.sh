#!/usr/bin/env bash
# The import's progress bar appears on a terminal that can draw it, and never
# in redirected output or on TERM=dumb.  check_progress.sh VELLUMET_CLI
set -euo pipefail
cli=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
{
    echo "Time,Temperature(C),Humidity(%),DewPoint(C),HeatIndex(C)"
    for day in $(seq 10 28); do
        for hour in 1 2 3 4 5 6 7 8 9 10 11; do
            echo "$day/01/2026 PM $hour:00:00,21.5,45,9.1,21.5"
        done
    done
} >"$dir/CH1.CSV"

# import into a fresh data folder NAME under a pseudo-terminal with TERM=$1
on_terminal() {
    TERM=$1 script -qec "'$cli' --data-dir '$dir/$2' import '$dir/CH1.CSV'" /dev/null </dev/null
}

failed=0
"$cli" --data-dir "$dir/redirected" import "$dir/CH1.CSV" >"$dir/out" 2>"$dir/err"
if grep -q $'\r\|\e' "$dir/out" "$dir/err"; then
    echo "control characters in redirected output"
    failed=1
fi
# (captured first: grep -q leaving early would break the pipe under pipefail)
shown=$(on_terminal xterm tty)
if ! grep -q 'Importing \[' <<<"$shown"; then
    echo "no progress bar on a terminal"
    failed=1
fi
shown=$(on_terminal dumb dumb)
if grep -q $'Importing \[\|\e' <<<"$shown"; then
    echo "a progress bar on TERM=dumb"
    failed=1
fi
# fetch draws its bar by the same rule.
shown=$(TERM=dumb script -qec "'$cli' --simulate --data-dir '$dir/fetch' fetch CH1_2612.CSV --no-import" /dev/null </dev/null)
if grep -q $'Fetching .*\[\|\e' <<<"$shown"; then
    echo "a fetch progress bar on TERM=dumb"
    failed=1
fi
shown=$(TERM=xterm script -qec "'$cli' --simulate --data-dir '$dir/fetch2' fetch CH1_2612.CSV --no-import" /dev/null </dev/null)
if ! grep -q 'Fetching .*\[' <<<"$shown"; then
    echo "no fetch progress bar on a terminal"
    failed=1
fi
exit $failed
