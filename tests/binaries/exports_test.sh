#!/usr/bin/env bash
# The plug-in binaries export their format's entry points and nothing else: no class of ours, no
# template instance of the standard or JSON libraries that another module in the host process
# could bind to (or interpose on ours).
# usage: exports_test.sh FORMAT BINARY [FORMAT BINARY ...]   (FORMAT: vst3 or lv2)
set -u
failures=0
while [ $# -ge 2 ]; do
    format=$1 binary=$2; shift 2
    case $format in
        # What a Linux VST3 host looks up in the module (JUCE's wrapper defines these three).
        vst3) allowed="GetPluginFactory ModuleEntry ModuleExit" ;;
        # What lilv (jalv, Ardour) and JUCE's manifest helper look up with dlsym.
        lv2) allowed="lv2_descriptor lv2ui_descriptor" ;;
        *) echo "FAIL: unknown format $format"; failures=$((failures + 1)); continue ;;
    esac
    if [ ! -f "$binary" ]; then
        echo "FAIL: $binary missing"; failures=$((failures + 1)); continue
    fi
    symbols=$(nm -D --defined-only "$binary" | awk '{ print $NF }' | sort -u)
    unexpected=$(comm -23 <(echo "$symbols") <(tr ' ' '\n' <<< "$allowed" | sort -u))
    missing=$(comm -13 <(echo "$symbols") <(tr ' ' '\n' <<< "$allowed" | sort -u))
    if [ -n "$unexpected" ]; then
        echo "FAIL: $format binary exports $(echo "$unexpected" | wc -l) symbol(s) beyond its entry points:"
        echo "$unexpected" | head -20
        failures=$((failures + 1))
    fi
    if [ -n "$missing" ]; then
        echo "FAIL: $format binary lacks entry point(s): $missing"
        failures=$((failures + 1))
    fi
    [ -z "$unexpected" ] && [ -z "$missing" ] && echo "ok: $format exports exactly: $allowed"
done
[ $failures -eq 0 ] || exit 1
