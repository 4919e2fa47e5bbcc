#!/usr/bin/env bash
# The plug-in binaries need only libraries every desktop Linux with Debian 12's glibc has; the
# audio-file codecs (FLAC, Vorbis, Ogg) are not among them: the plug-in plays no files.
# usage: needed_test.sh BINARY...
set -u
# One entry per soname prefix; each is there for a reason.
allowed=(
    libc.so.6          # C runtime
    libm.so.6          # maths
    libdl.so.2         # JUCE loads optional system libraries at run time (dlopen)
    libpthread.so.0    # threads (a stub in glibc 2.34+, still named by older link lines)
    libstdc++.so.6     # C++ runtime
    libgcc_s.so.1      # unwinding for C++ exceptions
    ld-linux-x86-64.so.2  # the dynamic loader itself
    libcurl-gnutls.so.4   # JUCE's URL streams (the update check); Debian's libcurl3-gnutls
    libfreetype.so.6   # JUCE's font rendering on Linux
    libfontconfig.so.1 # JUCE's font lookup on Linux
    libX11.so.6        # JUCE's windows (X11 is loaded at run time, some builds link it)
    libXext.so.6 libXinerama.so.1 libXrandr.so.2 libXcursor.so.1 libXrender.so.1  # X11 family
    libz.so.1          # zlib: Debian's JUCE uses the system zlib (PNG, GZIP streams)
    libpng16.so.16     # PNG decoding of the editor's embedded images (Debian's JUCE uses the system libpng)
    libjpeg.so.62      # JUCE's image loader always carries the JPEG reader (system libjpeg-turbo on Debian)
)
forbidden_pattern='^(libFLAC|libvorbis|libvorbisenc|libvorbisfile|libogg|libasound|libjack)'
failures=0
for binary in "$@"; do
    if [ ! -f "$binary" ]; then
        echo "FAIL: $binary missing"; failures=$((failures + 1)); continue
    fi
    needed=$(readelf -d "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
    bad=0
    for lib in $needed; do
        ok=0
        for a in "${allowed[@]}"; do [ "$lib" = "$a" ] && ok=1; done
        if [ $ok = 0 ] || [[ $lib =~ $forbidden_pattern ]]; then
            echo "FAIL: $(basename "$binary") needs $lib (not on the allow-list)"
            bad=1
        fi
    done
    if [ $bad = 0 ]; then
        echo "ok: $(basename "$binary") needs only: $(echo $needed)"
    else
        failures=$((failures + 1))
    fi
done
[ $failures -eq 0 ] || exit 1
