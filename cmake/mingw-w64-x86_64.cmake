# Cross toolchain for 64-bit Windows with Debian's mingw-w64 (POSIX threads flavour, which
# provides std::thread and std::mutex). scripts/build-windows uses it; the libraries Debian does
# not ship for mingw (libpng, libjpeg-turbo) come from OXLADE_WINDOWS_PREFIX, which that script
# fills. JUCE's helper tool, juceaide, stays the build machine's own (Debian's JUCE package
# imports a native one).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(OXLADE_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${OXLADE_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OXLADE_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${OXLADE_MINGW}-windres)
set(CMAKE_AR ${OXLADE_MINGW}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${OXLADE_MINGW}-gcc-ranlib-posix CACHE FILEPATH "")

# Passed on to try_compile projects too.
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES OXLADE_WINDOWS_PREFIX)

set(CMAKE_FIND_ROOT_PATH /usr/${OXLADE_MINGW})
if(OXLADE_WINDOWS_PREFIX)
    list(APPEND CMAKE_FIND_ROOT_PATH ${OXLADE_WINDOWS_PREFIX})
endif()
# Programs (juceaide, python) are the build machine's; headers and libraries only the target's.
# Package configurations may come from the build machine: JUCE's is platform-neutral, and the
# project imports nothing else by find_package in a Windows build (see CMakeLists.txt).
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Everything linked statically: the plug-in and the programs import system DLLs only.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Windows programs built here run under wine on the build machine.
find_program(OXLADE_WINE NAMES wine64 wine PATHS /usr/lib/wine)
if(OXLADE_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${OXLADE_WINE})
endif()
