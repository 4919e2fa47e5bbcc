#!/usr/bin/env bash
# Command-line behaviour of oxlade-render: good runs, bad input, and never a partial output.
set -u
render=${OXLADE_RENDER:?set OXLADE_RENDER to the oxlade-render binary}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Every instance starts from the user default preset in the data folder: keep ours in $work.
export OXLADE_DATA_DIR="$work/data"
mkdir -p "$OXLADE_DATA_DIR"
failures=0

check() { # description, expected exit ("0" or "nonzero"), command...
    local what=$1 expect=$2; shift 2
    local out rc
    out=$("$@" 2>&1); rc=$?
    if { [ "$expect" = 0 ] && [ $rc -ne 0 ]; } || { [ "$expect" = nonzero ] && [ $rc -eq 0 ]; }; then
        echo "FAIL: $what (exit $rc)"; echo "$out" | head -5; failures=$((failures + 1))
    else
        echo "ok: $what"
    fi
    LAST_OUTPUT=$out
}

check "list params" 0 "$render" --list-params
[ "$(echo "$LAST_OUTPUT" | grep -c -E '^(bypass|mode|lfStepB) ')" = 3 ] || { echo "FAIL: list lacks rows"; failures=$((failures + 1)); }

check "list params as JSON" 0 "$render" --list-params --json --set lmfGain=6
python3 - "$LAST_OUTPUT" <<'PY' || failures=$((failures + 1))
import json, sys
rows = json.loads(sys.argv[1])
assert len(rows) == 49, len(rows)
lmf = [r for r in rows if r["id"] == "lmfGain"][0]
assert lmf["current"] == "6.00 dB", lmf
assert rows[0]["id"] == "bypass" and rows[-1]["id"] == "mode"
print("ok: JSON rows")
PY

check "demo renders" 0 "$render" --demo "$work/demo.wav" --quiet
[ -s "$work/demo.wav" ] || { echo "FAIL: no demo output"; failures=$((failures + 1)); }

check "existing output is not replaced" nonzero "$render" --demo "$work/demo.wav" --quiet
check "overwrite replaces" 0 "$render" --demo "$work/demo.wav" --quiet --overwrite

# A mono 44.1 kHz file through the resampled path, 24-bit and float, odd block size.
python3 - "$work/mono.wav" <<'PY'
import math, struct, sys, wave
w = wave.open(sys.argv[1], "wb"); w.setnchannels(1); w.setsampwidth(2); w.setframerate(44100)
w.writeframes(b"".join(struct.pack("<h", int(12000 * math.sin(2 * math.pi * 440 * i / 44100))) for i in range(44100)))
w.close()
PY
check "mono file, odd block, float out" 0 "$render" "$work/mono.wav" "$work/mono-out.wav" --block 333 --float --set outputTrim=-6 --quiet
python3 - "$work/mono-out.wav" <<'PY' || failures=$((failures + 1))
import struct, sys
data = open(sys.argv[1], "rb").read()
assert data[:4] == b"RIFF" and data[8:12] == b"WAVE"
pos, fmt = 12, None
while pos + 8 <= len(data):
    cid, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
    if cid == b"fmt ":
        fmt = data[pos + 8:pos + 8 + size]
    pos += 8 + size + (size & 1)
assert fmt is not None, "no fmt chunk"
tag, channels, rate = struct.unpack("<HHI", fmt[:8])
bits = struct.unpack("<H", fmt[14:16])[0]
assert (channels, rate, bits) == (1, 44100, 32), (channels, rate, bits)
print("ok: mono float output format")
PY

# Automation: the same options give the same output, bit for bit, at any block size (nothing
# here waits for a fade), and a change lands where it is placed.
auto="--float --quiet --automate outputTrim=0.5:-12 --automate lmfGain=0.25:9,0.75:0"
check "automate" 0 "$render" "$work/mono.wav" "$work/auto-a.wav" $auto
check "automate again" 0 "$render" "$work/mono.wav" "$work/auto-b.wav" $auto
check "automate, block 333" 0 "$render" "$work/mono.wav" "$work/auto-c.wav" $auto --block 333
cmp -s "$work/auto-a.wav" "$work/auto-b.wav" || { echo "FAIL: two renders of the same automation differ"; failures=$((failures + 1)); }
cmp -s "$work/auto-a.wav" "$work/auto-c.wav" || { echo "FAIL: the block size changed the automated render"; failures=$((failures + 1)); }
python3 - "$work/auto-a.wav" <<'PY' || failures=$((failures + 1))
import math, struct, sys
data = open(sys.argv[1], "rb").read()
pos, samples = 12, None
while pos + 8 <= len(data):
    cid, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
    if cid == b"data":
        samples = struct.unpack("<%df" % (size // 4), data[pos + 8:pos + 8 + size])
    pos += 8 + size + (size & 1)
def rms(a, b):
    part = samples[int(a * 44100):int(b * 44100)]
    return math.sqrt(sum(v * v for v in part) / len(part))
step = 20 * math.log10(rms(0.55, 0.70) / rms(0.40, 0.48))
assert abs(step + 12.0) < 0.1, step  # the output trim fell by 12 dB at 0.5 s
boost = 20 * math.log10(rms(0.40, 0.48) / rms(0.05, 0.2))
assert boost > 1.0, boost            # the LMF boost from 0.25 s is there
print("ok: automation lands on time (%.2f dB, %.2f dB)" % (step, boost))
PY
check "automate: bad time" nonzero "$render" "$work/mono.wav" "$work/x.wav" --automate outputTrim=soon:3
check "automate: no value" nonzero "$render" "$work/mono.wav" "$work/x.wav" --automate outputTrim=1
check "automate: unknown ID" nonzero "$render" "$work/mono.wav" "$work/x.wav" --automate nosuch=1:2
check "automate: bad value" nonzero "$render" "$work/mono.wav" "$work/x.wav" --automate clipper=1:Medium
echo "$LAST_OUTPUT" | grep -q "cannot parse 'Medium'" || { echo "FAIL: automation value error text"; failures=$((failures + 1)); }
[ ! -e "$work/x.wav" ] || { echo "FAIL: a failed automation run left an output file"; failures=$((failures + 1)); }

# The documented input formats: the same samples as WAV, AIFF and FLAC (encoded by the flac
# tool) render to the same output.
python3 - "$work/mono.wav" "$work/mono.aiff" <<'PY'
import aifc, struct, sys, wave
w = wave.open(sys.argv[1]); frames = w.readframes(w.getnframes())
a = aifc.open(sys.argv[2], "wb"); a.setnchannels(1); a.setsampwidth(2); a.setframerate(w.getframerate())
samples = struct.unpack("<%dh" % (len(frames) // 2), frames)
a.writeframes(struct.pack(">%dh" % len(samples), *samples)); a.close()
PY
flac --silent --force -o "$work/mono.flac" "$work/mono.wav" || { echo "FAIL: flac encoder"; failures=$((failures + 1)); }
check "render WAV" 0 "$render" "$work/mono.wav" "$work/from-wav.wav" --set drive=30 --quiet
for fmt in aiff flac; do
    check "render ${fmt^^}" 0 "$render" "$work/mono.$fmt" "$work/from-$fmt.wav" --set drive=30 --quiet
    cmp -s "$work/from-wav.wav" "$work/from-$fmt.wav" && echo "ok: ${fmt^^} input renders like WAV" \
        || { echo "FAIL: ${fmt^^} input renders differently from WAV"; failures=$((failures + 1)); }
done
printf 'fLaC broken' > "$work/broken.flac"
check "broken FLAC refused" nonzero "$render" "$work/broken.flac" "$work/x.wav"

check "EQ response" 0 "$render" --set lfGain=6 --set hmfGain=-4 --response 0
python3 - "$LAST_OUTPUT" <<'PY' || failures=$((failures + 1))
import sys
rows = [l.split() for l in sys.argv[1].splitlines() if l and not l.startswith("#")]
resp = {float(r[0]): float(r[2]) for r in rows}
assert len(resp) == 60, len(resp)  # 20 Hz to 20 kHz in sixths of an octave
lo, hi = resp[min(resp)], resp[min(resp, key=lambda f: abs(f - 3000))]
assert 5.0 < lo <= 6.5, lo     # low shelf +6 dB at 50 Hz: nearly all of it at 20 Hz
assert -4.5 < hi < -3.0, hi    # HMF bell -4 dB centred at 3 kHz
assert abs(resp[max(resp)]) < 0.5, resp[max(resp)]
print("ok: response figures")
PY
check "response channel checked" nonzero "$render" --response 2

check "state save" 0 "$render" --set lmfGain=6 --set clipper=Accurate --save-state "$work/state.bin"
check "state load" 0 "$render" --state "$work/state.bin" --list-params
echo "$LAST_OUTPUT" | grep -q -E '^clipper .*Accurate$' || { echo "FAIL: state not restored"; failures=$((failures + 1)); }

# Preset files: written after the --set options, loaded before them.
check "preset save" 0 "$render" --set drive=40 --set clipper=Accurate --set oversample=x4 --save-preset "$work/warm.hlpd"
grep -q '<Parameters clipperV2="1">' "$work/warm.hlpd" || { echo "FAIL: preset root"; failures=$((failures + 1)); }
check "preset load" 0 "$render" --preset "$work/warm.hlpd" --set outputTrim=-2 --list-params
echo "$LAST_OUTPUT" | grep -q -E '^clipper .*Accurate$' || { echo "FAIL: preset clipper not loaded"; failures=$((failures + 1)); }
echo "$LAST_OUTPUT" | grep -q -E '^drive .* 40.00 %$' || { echo "FAIL: preset drive not loaded"; failures=$((failures + 1)); }
echo "$LAST_OUTPUT" | grep -q -E '^outputTrim .* -2.00 dB$' || { echo "FAIL: --set after --preset"; failures=$((failures + 1)); }
echo "$LAST_OUTPUT" | grep -q -E '^oversample .* x1$' || { echo "FAIL: a preset load keeps oversample"; failures=$((failures + 1)); }
check "--set overrides the preset" 0 "$render" --preset "$work/warm.hlpd" --set drive=5 --list-params
echo "$LAST_OUTPUT" | grep -q -E '^drive .* 5.00 %$' || { echo "FAIL: --set did not win over --preset"; failures=$((failures + 1)); }
check "a WAV is not a preset" nonzero "$render" --preset "$work/mono.wav" --list-params
echo "$LAST_OUTPUT" | grep -q "not an Oxlade preset file" || { echo "FAIL: preset error text"; failures=$((failures + 1)); }
check "missing preset" nonzero "$render" --preset "$work/none.hlpd" --list-params
check "preset into a missing folder" nonzero "$render" --save-preset "$work/no/such/dir/x.hlpd"

# Measurement: a -8.73 dBFS 440 Hz sine, clipper off, output trim -6 dB.
check "measure" 0 "$render" "$work/mono.wav" "$work/measured.wav" --set clipper=OFF --set outputTrim=-6 --measure --quiet
python3 - "$work/mono.wav" "$LAST_OUTPUT" <<'PY' || failures=$((failures + 1))
import math, re, struct, sys, wave
w = wave.open(sys.argv[1]); frames = w.readframes(w.getnframes())
x = [s / 32768.0 for s in struct.unpack("<%dh" % (len(frames) // 2), frames)]
peak = 20 * math.log10(max(abs(v) for v in x))
sine_rms = 10 * math.log10(2 * sum(v * v for v in x) / len(x))
text = sys.argv[2]
def row(name):
    m = re.search(name + r" *: peak +(\S+) dBFS, RMS +(\S+) dBFS, RMS re sine +(\S+) dB, K-weighted +(\S+) dB", text)
    assert m, text
    return [float(v) for v in m.groups()]
inp, out = row("input"), row("output")
assert abs(inp[0] - peak) < 0.01, (inp, peak)
assert abs(inp[2] - sine_rms) < 0.01, (inp, sine_rms)
assert abs(inp[3] - inp[2]) < 0.5, inp  # K-weighting is close to flat at 440 Hz
auto_in = float(re.search(r"auto input : +(\S+) dB", text).group(1))
auto_out = float(re.search(r"auto output: +(\S+) dB", text).group(1))
assert abs(auto_in - (-18 - sine_rms)) < 0.01, auto_in
assert abs(auto_out - 6.0) < 0.05, auto_out  # only the output trim changes the level
assert abs(out[2] - (sine_rms - 6.0)) < 0.05, out
print("ok: measured figures")
PY

echo "good" > "$work/keep.wav"
check "missing input" nonzero "$render" "$work/nope.wav" "$work/x.wav"
check "unknown parameter" nonzero "$render" --set nosuch=1 "$work/mono.wav" "$work/x.wav"
check "unparsable value" nonzero "$render" --set lmfGain=loud "$work/mono.wav" "$work/x.wav"
check "unparsable choice" nonzero "$render" --set clipper=Medium "$work/mono.wav" "$work/x.wav"
check "unreadable format" nonzero "$render" "$work/keep.wav" "$work/x.wav"
[ ! -e "$work/x.wav" ] || { echo "FAIL: a failed run left an output file"; failures=$((failures + 1)); }
check "unreadable input never replaces output" nonzero "$render" "$work/keep.wav" "$work/keep.wav" --overwrite
[ "$(cat "$work/keep.wav")" = good ] || { echo "FAIL: output replaced by a failed run"; failures=$((failures + 1)); }

# The renderer touches no user folder unless asked: with HOME and the data folder pointed at an
# empty folder, renders, listings, state and preset writes elsewhere leave it empty; only
# --user-default reads (and, when missing, creates) the User Default preset there.
home="$work/home"
mkdir -p "$home"
untouched() { # description, command...
    local what=$1; shift
    local out rc
    out=$(env -u XDG_CONFIG_HOME -u XDG_DATA_HOME HOME="$home" OXLADE_DATA_DIR="$home" "$@" 2>&1); rc=$?
    if [ $rc -ne 0 ]; then
        echo "FAIL: $what (exit $rc)"; echo "$out" | head -5; failures=$((failures + 1))
    elif [ -n "$(ls -A "$home")" ]; then
        echo "FAIL: $what wrote into the user folder:"; (cd "$home" && find . -mindepth 1 | head -5)
        failures=$((failures + 1)); rm -rf "${home:?}"/* "$home"/.[!.]*
    else
        echo "ok: $what leaves the user folder alone"
    fi
}
untouched "list params" "$render" --list-params
untouched "render" "$render" "$work/mono.wav" "$work/home-out.wav" --quiet --overwrite
untouched "state and preset writes" "$render" --set lmfGain=6 --save-state "$work/home.bin" --save-preset "$work/home.hlpd"
untouched "state load and response" "$render" --state "$work/home.bin" --response 0
out=$(env -u XDG_CONFIG_HOME HOME="$home" OXLADE_DATA_DIR="$home" "$render" --user-default --list-params 2>&1) \
    || { echo "FAIL: --user-default run"; failures=$((failures + 1)); }
[ -f "$home/Harlund/Oxlade/Presets/User Default.hlpd" ] \
    && echo "ok: --user-default creates the missing User Default preset" \
    || { echo "FAIL: --user-default did not create the User Default preset"; failures=$((failures + 1)); }

# More than two channels is refused.
python3 - "$work/quad.wav" <<'PY'
import sys, wave
w = wave.open(sys.argv[1], "wb"); w.setnchannels(4); w.setsampwidth(2); w.setframerate(48000)
w.writeframes(b"\0\0" * 4 * 4800); w.close()
PY
check "four channels refused" nonzero "$render" "$work/quad.wav" "$work/q.wav"
echo "$LAST_OUTPUT" | grep -q "mono or stereo" || { echo "FAIL: channel error text"; failures=$((failures + 1)); }

[ $failures -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "all renderer checks passed"
