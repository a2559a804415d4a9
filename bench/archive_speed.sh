#!/usr/bin/env bash
# Sets up the history measurements and prints the commands that time them:
#   bench/archive_speed.sh BUILD_DIR WORK_DIR
# WORK_DIR gets
#   view/     the bench history (10 channels x 1,000,000 readings) for plot --archive
#   imp/      a copy of it that the timed imports add to
#   plain/    a data folder whose last import is a 1,000,000-row log
#   logs/     1,000,000-line logs: BENCH.CSV (no channel in the name, so it
#             stays out of any history) and CH1_<year>.CSV for the years after
#             the history, one for each timed import
#   next-import   imports the next CH1 log into imp/ (each run adds a new
#             download after the ones before, as a station's downloads do)
#   sqlite-import the same kind of log through sqlite3's .import into a new
#             database, table Log(Time TEXT NOT NULL PRIMARY KEY, Temperature,
#             Humidity, DewPoint, HeatIndex) WITHOUT ROWID: the log's own
#             fields keyed by time, as the history keys its readings
# Each pair of commands it prints is run as: TIMER --vs 'B' -- A
set -euo pipefail
build=$(cd "$1" && pwd)
work=$2
cli=$build/cli/vellumet-cli
mkdir -p "$work"/view "$work"/imp "$work"/plain "$work"/logs
work=$(cd "$work" && pwd)

if [ ! -f "$work/history.sqlite" ]; then
    "$build/bench/make_bench_archive" "$work/view"
    cp "$work/view/archive.sqlite" "$work/history.sqlite"
fi
cp "$work/history.sqlite" "$work/view/archive.sqlite"
cp "$work/history.sqlite" "$work/imp/archive.sqlite"
rm -f "$work/imp/7421.mdb" "$work/imp/.next"

[ -f "$work/logs/BENCH.CSV" ] || "$build/bench/make_bench_log" "$work/logs/BENCH.CSV"
# A log covers nearly two years: 2026, 2028, ... for up to twelve imports.
for year in $(seq 2026 2 2048); do
    [ -f "$work/logs/CH1_$year.CSV" ] || "$build/bench/make_bench_log" "$work/logs/CH1_$year.CSV" 1000000 "$year"
done
"$cli" --data-dir "$work/plain" import "$work/logs/BENCH.CSV" >/dev/null

cat >"$work/next-import" <<EOF
#!/bin/sh
n=\$(cat "$work/imp/.next" 2>/dev/null || echo 0)
echo \$((n + 1)) >"$work/imp/.next"
exec "$cli" --data-dir "$work/imp" import "$work/logs/CH1_\$((2026 + 2 * n)).CSV"
EOF
cat >"$work/sqlite-import" <<EOF
#!/bin/sh
rm -f "$work/import.sqlite"
exec sqlite3 "$work/import.sqlite" "CREATE TABLE Log(Time TEXT NOT NULL PRIMARY KEY, Temperature, Humidity, DewPoint, HeatIndex) WITHOUT ROWID" ".import --csv --skip 1 '$work/logs/BENCH.CSV' Log"
EOF
chmod +x "$work/next-import" "$work/sqlite-import"

png=$work/plot.png
cat <<EOF
# plot of one channel's two years, against a plot of the 1,000,000-row last import
A: $cli --data-dir $work/view plot --archive --channel CH1 --out $png
B: $cli --data-dir $work/plain plot --out $png
# three channels
A: $cli --data-dir $work/view plot --archive --channel CH1 --channel CH2 --channel CH3 --out $png
B: $cli --data-dir $work/plain plot --out $png
# an import into the history (re-run this script before each timing of it)
A: $work/next-import
B: $cli --data-dir $work/plain import $work/logs/BENCH.CSV
# the same against sqlite3 .import
A: $work/next-import
B: $work/sqlite-import
EOF
