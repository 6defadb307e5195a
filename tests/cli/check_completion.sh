#!/usr/bin/env bash
# The bash completion of veltrika: what it offers after each line, with "=" breaking words
# (bash's default) and without.
set -u
source "$1"

failures=0
expect() {
    local line="$1" wanted="$2"
    COMP_LINE="$line"
    COMP_POINT=${#line}
    _veltrika
    local got="${COMPREPLY[*]}"
    if [ "$got" != "$wanted" ]; then
        echo "after '$line' (COMP_WORDBREAKS '$COMP_WORDBREAKS'): got '$got', wanted '$wanted'"
        failures=$((failures + 1))
    fi
}

COMP_WORDBREAKS=$' \t\n"\'><=;|&(:'
expect "veltrika --json s" "status set"
expect "veltrika ed" "edid"
expect "veltrika edid " "read write check decode compare edit merge"
expect "veltrika edid read " "box top bot -o --format --hex --help"
expect "veltrika edid read top -o tv.inf --format " "raw hex carray inf"
expect "veltrika edid read top -o tv.c --format c" "carray"
expect "veltrika edid edit top -o tv.inf --format i" "inf"
expect "veltrika edid merge --video top --audio bot -o m.bin --f" "--format --fit-by"
expect "veltrika edid merge --video top --audio bot -o m.bin --fit-by " "least-loss"
expect "veltrika --demo=/x get hdr-" "hdr-packet hdr-hotkey hdr-force hdr-mode"
expect "veltrika set au" "auto-switch= audio-source= automix-algo="
expect "veltrika set audio-source=" "hdmi jack"
expect "veltrika set input=bot hdcp=" "1.4 2.2"
expect "veltrika set custom-edid=" "0 1 2 3 4 5 6 7"
expect "veltrika set green-led=o" "on off"
expect "veltrika cec " "send store decode"
expect "veltrika infoframe decode --form " "frame hdr-payload avi-payload"
expect "veltrika cec store " "sp lp"
expect "veltrika cec store sp " ""
expect "veltrika doctor --why atmos" "atmos atmos-ddplus atmos-truehd"
expect "veltrika doctor --apply 2 --d" "--dry-run --demo"
expect "veltrika reset --" "--settings --edid --all --yes --help --demo --json --trace --quiet"
expect "veltrika status --j" "--json"
expect "veltrika edid decode tv.bin --demo=/et" "/etc"
expect "veltrika edid edit top --name --" ""
expect "veltrika backup " "-o --help"
expect "veltrika restore --only " "settings edid packets"
expect "veltrika restore --" "--dry-run --as-is --only --help --demo --json --trace --quiet"
expect "veltrika cec send 50:04 --" "--as-is --help --demo --json --trace --quiet"
expect "veltrika cec store sp 50:04 --a" "--as-is"
expect "veltrika hdr send 87:01 --a" "--as-is"
expect "veltrika jo" "journal"
expect "veltrika journal " "-n --json --help"
expect "veltrika journal -n " ""
expect "veltrika undo --" "--dry-run --force --help --demo --json --trace --quiet"
expect "veltrika config " "list save delete"
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
mkdir -p "$data/veltrika/configurations"
touch "$data/veltrika/configurations/gaming.json" "$data/veltrika/configurations/movie night.json"
export XDG_DATA_HOME="$data"
expect "veltrika config delete " "gaming movie night"
expect "veltrika restore mo" "movie night"
expect "veltrika config save gaming " ""
expect "veltrika config save gaming --r" "--replace"
expect "veltrika config save --replace mo" "movie night"
expect "veltrika mon" "monitor"
expect "veltrika --demo monitor --" "--interval --for --count --json --help --demo --trace --quiet"
expect "veltrika monitor --interval " ""
COMP_WORDBREAKS=$' \t\n'
expect "veltrika set automix-algo=max" "automix-algo=max-audio-min-video automix-algo=max-audio-max-video"
exit $((failures > 0))
