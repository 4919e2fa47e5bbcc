#!/usr/bin/env bash
# Optional: loads the built LV2 bundle in Ardour 7 (Debian's `ardour`, headless through its Lua
# session tool with the dummy backend) and prints how Ardour types each parameter.
#   tests/lv2/ardour_descriptors.sh [build-dir]      (default build/release)
set -euo pipefail
cd "$(dirname "$0")/../.."
command -v ardour7-lua >/dev/null || { echo "ardour7-lua not installed (apt-get install ardour)"; exit 0; }
bundle="${1:-build/release}/Oxlade_artefacts/Release/LV2/Oxlade.lv2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lv2" "$work/data"
cp -a "$bundle" "$work/lv2/"
HOME="$work" LV2_PATH="$work/lv2" OXLADE_DATA_DIR="$work/data" OXLADE_UPDATE_URL=http://127.0.0.1:1/oxlade/version.json \
    OXLADE_ARDOUR_SESSION="$work/session" ardour7-lua tests/lv2/ardour_descriptors.lua 2>/dev/null | grep -E "toggled="
