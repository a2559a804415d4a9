#!/usr/bin/env bash
# Runs the bash completion of vellumet-cli on typed lines and compares what it
# offers.  check_completion.sh COMPLETION_SCRIPT VELLUMET_CLI
set -o pipefail
source "$1"
cli=$2
failed=0

# complete LINE EXPECTED: the words offered for the last word of LINE (which
# may be empty), sorted and joined by spaces.
complete_line() {
    local line=$1 expected=$2
    read -r -a COMP_WORDS <<<"$line"
    COMP_WORDS[0]=$cli
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _vellumet_cli
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//')
    if [ "$got" != "$expected" ]; then
        echo "'$line': offered '$got', expected '$expected'"
        failed=1
    fi
}

complete_line "vellumet-cli " "archive backup delete devices fetch files import info live name plot records restore set-alarm set-calibration set-interval set-language set-settings sync-time watch"
complete_line "vellumet-cli s" "set-alarm set-calibration set-interval set-language set-settings sync-time"
complete_line "vellumet-cli --format " "csv influx json text"
complete_line "vellumet-cli --format j" "json"
complete_line "vellumet-cli --data-dir /tmp live --f" "--format"
complete_line "vellumet-cli watch --" "--count --data-dir --device --every --exit-on-alarm --format --help --mqtt --mqtt-ca --mqtt-client-id --mqtt-password-file --no-discovery --no-header --simulate --trace --version"
complete_line "vellumet-cli watch --mqtt-" "--mqtt-ca --mqtt-client-id --mqtt-password-file"
complete_line "vellumet-cli live --e" ""
complete_line "vellumet-cli --simulate watch " ""
complete_line "vellumet-cli records --column H" "Heatindex Humidity"
complete_line "vellumet-cli set-language " "de en"
complete_line "vellumet-cli records --archive --channel C" "CH1 CH2 CH3 CH4 CH5 CH6 CH7 CH8"
complete_line "vellumet-cli archive --" "--data-dir --device --format --help --rebuild --simulate --trace --version"

# File names where a command takes a file; bash splits --simulate=PATH at "=".
files=$(mktemp -d)
trap 'rm -rf "$files"' EXIT
touch "$files/week.png" "$files/station.json" "$files/CH1_2612.CSV" "$files/profile.json"
cd "$files"
complete_line "vellumet-cli plot --out we" "week.png"
complete_line "vellumet-cli backup st" "station.json"
complete_line "vellumet-cli restore st" "station.json"
complete_line "vellumet-cli --data-dir /tmp import C" "CH1_2612.CSV"
complete_line "vellumet-cli --simulate = pro" "profile.json"
complete_line "vellumet-cli --simulate = " "CH1_2612.CSV profile.json station.json week.png"
complete_line "vellumet-cli --simulate=pro" "--simulate=profile.json"
complete_line "vellumet-cli --simulate=profile.json li" "live"
exit $failed
