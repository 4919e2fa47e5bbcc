#!/usr/bin/env bash
# Editor screenshots through oxlade-render: the three fold states at 100 % and the folded window
# at 150 %, each a PNG of the editor's own size, drawn off-screen without a display. One more
# with audio processed first. The PNGs are kept in $OXLADE_SCREENSHOT_DIR for reviewers.
set -u
render=${OXLADE_RENDER:?set OXLADE_RENDER to the oxlade-render binary}
out=${OXLADE_SCREENSHOT_DIR:?set OXLADE_SCREENSHOT_DIR to the folder for the screenshots}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export OXLADE_DATA_DIR="$work/data"
mkdir -p "$OXLADE_DATA_DIR"
unset DISPLAY WAYLAND_DISPLAY # off-screen means no display is needed
failures=0

png_size() { # prints "WIDTH HEIGHT" of a PNG file
    python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read(32)
assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
w, h = struct.unpack(">II", data[16:24])
print(w, h)
PY
}

shot() { # name, expected "W H", renderer arguments...
    local name=$1 expected=$2; shift 2
    local file="$out/$name.png"
    if ! "$render" --screenshot "$file" --overwrite --quiet "$@" >"$work/log" 2>&1; then
        echo "FAIL: $name"; head -5 "$work/log"; failures=$((failures + 1)); return
    fi
    local size
    size=$(png_size "$file") || { echo "FAIL: $name is not a PNG"; failures=$((failures + 1)); return; }
    if [ "$size" != "$expected" ]; then
        echo "FAIL: $name is $size, expected $expected"; failures=$((failures + 1))
    else
        echo "ok: $name ($size) -> $file"
    fi
}

shot editor-folded-100 "1140 686" --layout folded
shot editor-expanded-100 "1140 1044" --layout expanded
shot editor-knobs-folded-100 "1140 794" --layout knobs-folded
shot editor-folded-150 "1710 1029" --layout folded --scale 150
shot editor-expanded-75 "855 783" --layout expanded --scale 75

# With audio: a second of a 1 kHz tone processed first; no audio file appears.
python3 - "$work/tone.wav" <<'PY'
import math, struct, sys, wave
w = wave.open(sys.argv[1], "wb"); w.setnchannels(2); w.setsampwidth(2); w.setframerate(48000)
w.writeframes(b"".join(struct.pack("<hh", s, s) for s in (int(16000 * math.sin(2 * math.pi * 1000 * i / 48000)) for i in range(48000))))
w.close()
PY
before=$(ls "$work" | sort)
shot editor-expanded-live "1140 1044" "$work/tone.wav" --layout expanded --set lmfGain=6
after=$(ls "$work" | sort)
[ "$before" = "$after" ] || { echo "FAIL: the screenshot run wrote other files"; failures=$((failures + 1)); }

# Bad options are refused, and an existing file is not replaced without --overwrite.
for bad in "--scale 20" "--scale abc" "--layout sideways"; do
    # shellcheck disable=SC2086
    if "$render" --screenshot "$work/bad.png" $bad >/dev/null 2>&1; then
        echo "FAIL: accepted $bad"; failures=$((failures + 1))
    else
        echo "ok: refused $bad"
    fi
done
[ ! -e "$work/bad.png" ] || { echo "FAIL: a refused run wrote its PNG"; failures=$((failures + 1)); }
if "$render" --screenshot "$out/editor-folded-100.png" --quiet >/dev/null 2>&1; then
    echo "FAIL: replaced an existing screenshot without --overwrite"; failures=$((failures + 1))
else
    echo "ok: existing screenshot kept"
fi
if "$render" --scale 150 --demo "$work/x.wav" >/dev/null 2>&1; then
    echo "FAIL: --scale accepted without --screenshot"; failures=$((failures + 1))
else
    echo "ok: --scale needs --screenshot"
fi

[ $failures -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "all screenshot checks passed"
