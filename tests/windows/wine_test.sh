#!/usr/bin/env bash
# The Windows build (scripts/build-windows) under wine, headless:
#   1. oxlade-render.exe renders a short signal with the line-stage model, EQ, clipper and
#      oversampling engaged; its output is compared with this build's renderer for the same
#      settings, once per neural-kernel variant both can run (OXLADE_WAVENET_KERNEL).
#   2. the Windows hosting test loads the Windows VST3 through JUCE's Windows VST3 host:
#      parameters, latency, processed audio, a state round trip, restores racing an A/B switch,
#      and the editor opened, resized and closed (on a virtual X display).
# Exits 77 (CTest: skipped) when wine or the Windows build is not there.
# Environment: OXLADE_RENDER (this build's renderer), OXLADE_WINDOWS_BUILD (the Windows build
# folder).
set -euo pipefail

skip() {
    echo "windows: skipped, $1"
    exit 77
}

[ "${OXLADE_SKIP_WINDOWS:-0}" != "1" ] || skip "OXLADE_SKIP_WINDOWS=1 (the Windows build may be stale)"

wine=""
for candidate in wine64 wine /usr/lib/wine/wine64; do
    if command -v "$candidate" >/dev/null 2>&1; then
        wine=$(command -v "$candidate")
        break
    fi
done
[ -n "$wine" ] || skip "wine is not installed (scripts/setup installs wine64)"

winbuild="${OXLADE_WINDOWS_BUILD:?}"
render_exe="$winbuild/oxlade-render.exe"
host_exe="$winbuild/oxlade_host_tests.exe"
vst3="$winbuild/Oxlade_artefacts/Release/VST3/Oxlade.vst3"
for f in "$render_exe" "$host_exe" "$vst3/Contents/x86_64-win/Oxlade.vst3"; do
    [ -e "$f" ] || skip "no Windows build ($f missing; scripts/build-windows makes it)"
done
linux_render="${OXLADE_RENDER:?}"

# A private wine prefix inside the Windows build, no Mono or Gecko installers, quiet. No display:
# the renderer needs none (wine's null driver serves JUCE's hidden message window); the editor
# checks of the hosting test get a virtual one (Xvfb).
export WINEPREFIX
WINEPREFIX="$(cd "$winbuild" && pwd)/wineprefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset DISPLAY
run_wine() { "$wine" "$@"; }

# Static linking: every DLL the plug-in and the programs import is one Windows itself provides
# (wine's prefix holds its own build of each system DLL), none of the compiler's runtime DLLs.
run_wine cmd /c exit >/dev/null 2>&1 || true # creates the prefix on first use
system32="$WINEPREFIX/drive_c/windows/system32"
objdump=$(command -v x86_64-w64-mingw32-objdump || true)
if [ -n "$objdump" ] && [ -d "$system32" ]; then
    for binary in "$vst3/Contents/x86_64-win/Oxlade.vst3" "$render_exe" "$host_exe"; do
        imports=$("$objdump" -p "$binary" | sed -n 's/^[[:space:]]*DLL Name: //p')
        [ -n "$imports" ] || { echo "windows: FAILED, no imports read from $binary"; exit 1; }
        for dll in $imports; do
            if [ -z "$(find "$system32" -maxdepth 1 -iname "$dll" -print -quit)" ]; then
                echo "windows: FAILED, $(basename "$binary") imports $dll, which is not a Windows system DLL"
                exit 1
            fi
        done
        echo "windows: $(basename "$binary") imports system DLLs only ($(echo $imports | wc -w))"
    done
    # The module exports the VST3 entry points and nothing else.
    exports=$("$objdump" -p "$vst3/Contents/x86_64-win/Oxlade.vst3" |
        sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[ *[0-9]*\] //p' | sort | tr '\n' ' ')
    if [ "$exports" != "ExitDll GetPluginFactory InitDll " ]; then
        echo "windows: FAILED, Oxlade.vst3 exports: $exports"
        exit 1
    fi
    echo "windows: Oxlade.vst3 exports $exports"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export OXLADE_DATA_DIR="$work/data" OXLADE_UPDATE_URL=http://127.0.0.1:1/oxlade/version.json
mkdir -p data

# Half a second of stereo programme at 48 kHz: a rising sweep on the left, noise and a low tone on
# the right, peaks near -6 dBFS, 32-bit float.
python3 - <<'PY'
import math, random, struct
rate, n = 48000, 24000
random.seed(7)
frames = []
for i in range(n):
    t = i / rate
    left = 0.45 * math.sin(2 * math.pi * (60 * t + 0.5 * (8000 - 60) * t * t / (n / rate)))
    right = 0.25 * math.sin(2 * math.pi * 110 * t) + 0.2 * (random.random() * 2 - 1)
    frames.append(struct.pack('<ff', left, right))
data = b''.join(frames)
fmt = struct.pack('<HHIIHH', 3, 2, rate, rate * 8, 8, 32)
riff = b'WAVE' + b'fmt ' + struct.pack('<I', len(fmt)) + fmt + b'data' + struct.pack('<I', len(data)) + data
open('input.wav', 'wb').write(b'RIFF' + struct.pack('<I', len(riff)) + riff)
PY

settings=(--set mode=Hybrid --set hybridMode=Hybrid --set drive=60 --set lmfGain=4.5 --set hfGain=-3
          --set clipper=Accurate --set clipperDrive=6 --set oversample=x2 --float)

# One render per requested variant and per build (an unset request: each build's own choice);
# the renderer's summary names the variant that ran, which may differ from the request when the
# processor, or wine, cannot run it.
kernels=(scalar sse avx avx2 avx512 default)
for k in "${kernels[@]}"; do
    request=$k
    [ "$k" = default ] && request=""
    OXLADE_WAVENET_KERNEL=$request "$linux_render" "${settings[@]}" input.wav "linux-$k.wav" >"linux-$k.txt"
    OXLADE_WAVENET_KERNEL=$request run_wine "$render_exe" "${settings[@]}" input.wav "windows-$k.wav" >"windows-$k.txt"
done

python3 - "${kernels[@]}" <<'PY'
import re, struct, sys

def read(name):
    b = open(name, 'rb').read()
    assert b[:4] == b'RIFF' and b[8:12] == b'WAVE', name
    pos, fmt, data = 12, None, None
    while pos + 8 <= len(b):
        cid, size = b[pos:pos + 4], struct.unpack('<I', b[pos + 4:pos + 8])[0]
        body = b[pos + 8:pos + 8 + size]
        if cid == b'fmt ':
            fmt = struct.unpack('<HHIIHH', body[:16])
        elif cid == b'data':
            data = body
        pos += 8 + size + (size & 1)
    # 32-bit float, as format 3 or as WAVE_FORMAT_EXTENSIBLE
    assert fmt is not None and fmt[5] == 32 and fmt[0] in (3, 0xFFFE), (name, fmt)
    return struct.unpack('<%df' % (len(data) // 4), data)

def kernel(name):
    m = re.search(r'model kernel (\w+)', open(name, encoding='utf-8', errors='replace').read())
    assert m, 'no kernel named in ' + name
    return m.group(1)

def max_diff(a, b):
    assert len(a) == len(b), (len(a), len(b))
    return max(abs(x - y) for x, y in zip(a, b))

# Tolerances. The same variant must give the same samples to float rounding: same compiler
# (GCC 12), same flags, same operations; what may differ is the C library (mingw's maths
# functions against glibc's may round the last bit of a filter coefficient or a table value
# differently). That is held to 4 units in the last place of a float at the output's peak
# (4 * 2^-23 * peak), a rounding difference carried through the recursive filters and the
# network without growth. Different variants (fused multiply-add against separate rounding) may
# differ by more (the model alone up to 2e-5 in its unit test): 1e-4 of full scale (-80 dBFS).
other_variant = 1e-4
failed = False
for k in sys.argv[1:]:
    lin, win = read('linux-%s.wav' % k), read('windows-%s.wav' % k)
    kl, kw = kernel('linux-%s.txt' % k), kernel('windows-%s.txt' % k)
    same_variant = 4 * 2.0**-23 * max(abs(x) for x in lin)
    tolerance = same_variant if kl == kw else other_variant
    d = max_diff(lin, win)
    ok = d <= tolerance
    failed |= not ok
    print('windows: requested %-7s ran Linux %-6s Windows %-6s: max |diff| %.3g (tolerance %.3g) %s'
          % (k, kl, kw, d, tolerance, 'ok' if ok else 'FAILED'))

# The model must be in the signal path, or the comparison would not cover the kernels: with it,
# the scalar and fused multiply-add variants differ in the last bits.
if kernel('linux-default.txt') in ('avx2', 'avx512'):
    spread = max_diff(read('linux-scalar.wav'), read('linux-default.wav'))
    print('windows: Linux scalar vs %s: max |diff| %.3g' % (kernel('linux-default.txt'), spread))
    if spread == 0.0:
        print('windows: FAILED, the settings do not reach the model')
        failed = True
print('windows: default kernel: Linux %s, Windows under wine %s' % (kernel('linux-default.txt'), kernel('windows-default.txt')))
sys.exit(1 if failed else 0)
PY

echo "windows: hosting test (Windows VST3 in a Windows build of JUCE's host)"
# The renders above ran without a display, and wine's server outlives its last program by a few
# seconds: a program started meanwhile joins that display-less session, where DXGI reports no
# graphics output when the editor opens and the host test crashes. Stop the server first.
for server in "$(dirname "$wine")/wineserver" wineserver /usr/lib/wine/wineserver64; do
    if command -v "$server" >/dev/null 2>&1; then
        "$server" -k 2>/dev/null || true
        "$server" -w 2>/dev/null || true
        break
    fi
done
# The bundle path compiled into the test is the build machine's; wine maps it through drive Z:.
display=()
if command -v xvfb-run >/dev/null 2>&1; then
    display=(xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp")
    filter='Hosting.Vst3*'
else
    filter='Hosting.Vst3*:-Hosting.Vst3Editor*'
    echo "windows: no xvfb-run, editor checks left out"
fi
"${display[@]}" "$wine" "$host_exe" --gtest_filter="$filter" --gtest_brief=1 2>&1 | grep -v '^X connection to'
exit "${PIPESTATUS[0]}"
