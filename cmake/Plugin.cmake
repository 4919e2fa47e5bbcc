# The JUCE plug-in and everything that links its shared code: renderer, core tests, benchmarks.
# JUCE's modules are compiled once, into the plug-in's shared-code static library `Oxlade`;
# the other executables link that library and borrow its include paths and definitions.

if(OXLADE_WINDOWS_CROSS AND NOT JUCE_DIR)
    # JUCE's CMake support is the build machine's (it runs there); a cross build does not look
    # in the build machine's architecture folders by itself.
    file(GLOB OXLADE_JUCE_CONFIG_DIRS /usr/lib/*/cmake/JUCE-7.0.5 /usr/lib/cmake/JUCE-7.0.5)
    list(GET OXLADE_JUCE_CONFIG_DIRS 0 JUCE_DIR)
endif()
find_package(JUCE 7.0.5 EXACT CONFIG REQUIRED)
# The plug-in plays no files: its shared code is built without JUCE's FLAC and Ogg Vorbis
# formats (Debian's JUCE links the system codec libraries for them). Only the renderer reads
# FLAC, through libFLAC directly (tools/render/FlacReader.cpp); Debian has no libFLAC for
# mingw, so the Windows renderer reads WAV and AIFF only.
if(NOT OXLADE_WINDOWS_CROSS)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(OXLADE_FLAC REQUIRED IMPORTED_TARGET flac)
endif()

# The Windows build (a cross build, see CMakeLists.txt) makes the VST3 only.
set(OXLADE_FORMATS VST3 LV2 Standalone)
if(OXLADE_WINDOWS_CROSS)
    set(OXLADE_FORMATS VST3)
endif()

set(OXLADE_LV2_URI "https://harlund.audio/plugins/oxlade")

juce_add_plugin(Oxlade
    COMPANY_NAME "Harlund"
    COMPANY_WEBSITE "https://harlund.audio"
    COMPANY_EMAIL "support@harlund.audio"
    PRODUCT_NAME "Oxlade"
    VERSION "1.0.2"
    PLUGIN_MANUFACTURER_CODE Hlnd
    PLUGIN_CODE Oxld
    FORMATS ${OXLADE_FORMATS}
    VST3_CATEGORIES Fx EQ
    IS_SYNTH FALSE
    NEEDS_MIDI_INPUT FALSE
    NEEDS_MIDI_OUTPUT FALSE
    IS_MIDI_EFFECT FALSE
    EDITOR_WANTS_KEYBOARD_FOCUS FALSE
    COPY_PLUGIN_AFTER_BUILD FALSE
    NEEDS_WEB_BROWSER FALSE
    NEEDS_CURL TRUE
    LV2URI "${OXLADE_LV2_URI}"
    LV2_SHARED_LIBRARY_NAME Oxlade)

file(GLOB OXLADE_CORE_SOURCES CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/core/*.cpp ${CMAKE_SOURCE_DIR}/core/*.h
     ${CMAKE_SOURCE_DIR}/editor/*.cpp ${CMAKE_SOURCE_DIR}/editor/*.h)
target_sources(Oxlade PRIVATE ${OXLADE_CORE_SOURCES})
set_source_files_properties(${OXLADE_CORE_SOURCES} PROPERTIES COMPILE_OPTIONS "-Wall;-Wextra")

# Embedded resources, looked up by name (file name with the dot replaced by an underscore, so
# names must be unique across the folders): model documents, tables and the clipper fit, the
# editor's images and fonts.
file(GLOB OXLADE_RESOURCE_FILES CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/resources/*.json
     ${CMAKE_SOURCE_DIR}/resources/editor/images/*.png
     ${CMAKE_SOURCE_DIR}/resources/editor/fonts/*.ttf
     ${CMAKE_SOURCE_DIR}/resources/editor/fonts/*.otf)
if(OXLADE_RESOURCE_FILES)
    juce_add_binary_data(OxladeResources NAMESPACE OxladeBinary HEADER_NAME OxladeBinary.h
                         SOURCES ${OXLADE_RESOURCE_FILES})
    # JUCE 7.0.5's rule re-embeds only when the list of files changes, not their contents: a
    # retrained model or a redrawn image would stay stale in an incremental build.
    add_custom_command(OUTPUT "${CMAKE_CURRENT_BINARY_DIR}/juce_binarydata_OxladeResources/JuceLibraryCode/BinaryData1.cpp"
                       APPEND DEPENDS ${OXLADE_RESOURCE_FILES})
    set_target_properties(OxladeResources PROPERTIES POSITION_INDEPENDENT_CODE ON)
    target_link_libraries(Oxlade PRIVATE OxladeResources)
    target_compile_definitions(Oxlade PUBLIC OXLADE_HAS_RESOURCES=1)
endif()

target_compile_definitions(Oxlade
    PUBLIC
        JUCE_WEB_BROWSER=0
        JUCE_USE_CURL=1
        JUCE_USE_FLAC=0
        JUCE_USE_OGGVORBIS=0
        JUCE_VST3_CAN_REPLACE_VST2=0
        JUCE_DISPLAY_SPLASH_SCREEN=0
        JUCE_REPORT_APP_USAGE=0
        JUCE_MODAL_LOOPS_PERMITTED=0
        JUCE_SILENCE_XCODE_15_LINKER_WARNING=1
        JucePlugin_LV2URI="${OXLADE_LV2_URI}")

target_link_libraries(Oxlade
    PRIVATE
        juce::juce_audio_utils
        juce::juce_audio_processors
        juce::juce_audio_formats
        juce::juce_dsp
        juce::juce_gui_extra
    PUBLIC
        oxlade_dsp
        juce::juce_recommended_config_flags
        juce::juce_recommended_warning_flags)

if(OXLADE_WINDOWS_CROSS)
    # Debian's JUCE uses the system's libpng and libjpeg (its own copies are removed); the
    # Windows build links the cross-built ones (scripts/build-windows).
    find_package(PNG REQUIRED)
    find_package(JPEG REQUIRED)
    target_link_libraries(Oxlade PRIVATE PNG::PNG JPEG::JPEG)
endif()

if(OXLADE_LTO)
    target_link_libraries(Oxlade PUBLIC juce::juce_recommended_lto_flags)
endif()

# JUCE's own listener code trips gcc 12's dangling-pointer check; that is theirs, not ours.
set(OXLADE_QUIET_JUCE "")
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    set(OXLADE_QUIET_JUCE -Wno-dangling-pointer)
endif()
target_compile_options(Oxlade PRIVATE ${OXLADE_QUIET_JUCE})

# Executables that reuse the shared code: same definitions and include paths, no module sources.
function(oxlade_link_shared_code target)
    target_link_libraries(${target} PRIVATE Oxlade)
    target_include_directories(${target} PRIVATE $<TARGET_PROPERTY:Oxlade,INCLUDE_DIRECTORIES>)
    target_compile_definitions(${target} PRIVATE $<TARGET_PROPERTY:Oxlade,COMPILE_DEFINITIONS>)
    target_compile_options(${target} PRIVATE -Wall -Wextra ${OXLADE_QUIET_JUCE})
endfunction()

# The Windows build has targets of its own from here on.
if(OXLADE_WINDOWS_CROSS)
    include(${CMAKE_SOURCE_DIR}/cmake/Windows.cmake)
    return()
endif()

# What the plug-in binaries show the host process: JUCE builds the shared code and the wrappers
# with hidden visibility; our static libraries get the same, and a version script per format
# keeps everything but the format's entry points out of the dynamic symbol table (template
# instances of the standard and JSON libraries keep default visibility otherwise). --as-needed
# drops libraries the plug-in's code never calls (ALSA and JACK belong to the standalone's
# audio devices, which the plug-in formats do not use).
set_target_properties(oxlade_dsp PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
if(TARGET OxladeResources)
    set_target_properties(OxladeResources PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
endif()
foreach(format VST3 LV2)
    string(TOLOWER ${format} lower)
    set(map ${CMAKE_SOURCE_DIR}/cmake/exports-${lower}.map)
    target_link_options(Oxlade_${format} PRIVATE -Wl,--version-script=${map} -Wl,--as-needed)
    set_property(TARGET Oxlade_${format} APPEND PROPERTY LINK_DEPENDS ${map})
endforeach()
target_link_options(Oxlade_Standalone PRIVATE -Wl,--as-needed)

# JUCE's manifest helper writes the LV2 description after linking (a POST_BUILD step added by
# juce_add_plugin); this step, added after it, corrects what JUCE 7.0.5 writes wrongly (see the
# script). Its unit test runs on a small fixture.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_custom_command(TARGET Oxlade_LV2 POST_BUILD
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/lv2/fix_lv2_ttl.py --single-program "$<TARGET_FILE_DIR:Oxlade_LV2>"
    VERBATIM)
add_test(NAME lv2_turtle_fix COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/lv2/fix_lv2_ttl_test.py)
set_tests_properties(lv2_turtle_fix PROPERTIES LABELS binaries)
# The bundle the build made carries the corrected description.
add_test(NAME lv2_bundle_description
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/lv2/fix_lv2_ttl.py --check --single-program "$<TARGET_FILE_DIR:Oxlade_LV2>")
set_tests_properties(lv2_bundle_description PROPERTIES LABELS binaries)

# What the plug-in binaries export and which libraries they need (tests/binaries/).
add_test(NAME plugin_exports COMMAND bash ${CMAKE_SOURCE_DIR}/tests/binaries/exports_test.sh
         vst3 $<TARGET_FILE:Oxlade_VST3> lv2 $<TARGET_FILE:Oxlade_LV2>)
add_test(NAME plugin_needed_libraries COMMAND bash ${CMAKE_SOURCE_DIR}/tests/binaries/needed_test.sh
         $<TARGET_FILE:Oxlade_VST3> $<TARGET_FILE:Oxlade_LV2>)
set_tests_properties(plugin_exports plugin_needed_libraries PROPERTIES LABELS binaries)

# Offline renderer.
add_executable(oxlade-render tools/render/main.cpp tools/render/Demo.cpp tools/render/Renderer.cpp tools/render/Screenshot.cpp
               tools/render/FlacReader.cpp)
oxlade_link_shared_code(oxlade-render)
target_link_libraries(oxlade-render PRIVATE PkgConfig::OXLADE_FLAC)
target_compile_definitions(oxlade-render PRIVATE OXLADE_RENDER_FLAC=1)
target_include_directories(oxlade-render PRIVATE ${CMAKE_SOURCE_DIR}/tools/render)

# Core tests (processor, parameters, pipeline, hosting).
file(GLOB OXLADE_CORE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/core/*.cpp ${CMAKE_SOURCE_DIR}/tests/core/*.h)
add_executable(oxlade_core_tests ${OXLADE_CORE_TEST_SOURCES})
oxlade_link_shared_code(oxlade_core_tests)
target_link_libraries(oxlade_core_tests PRIVATE GTest::gtest)
target_compile_definitions(oxlade_core_tests PRIVATE
    OXLADE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
gtest_discover_tests(oxlade_core_tests DISCOVERY_TIMEOUT 120 PROPERTIES LABELS core)

# Tests that put windows on screen get a virtual X display of their own (Xvfb, installed by
# scripts/setup); xvfb-run -a picks a free display number, so tests can run in parallel.
find_program(OXLADE_XVFB_RUN xvfb-run)
set(OXLADE_WITH_DISPLAY "")
if(OXLADE_XVFB_RUN)
    set(OXLADE_WITH_DISPLAY ${OXLADE_XVFB_RUN} -a -s "-screen 0 2560x1600x24 -nolisten tcp")
endif()

# Editor tests (look and feel, shell, knob, lifetime beside the audio thread).
file(GLOB OXLADE_EDITOR_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/editor/*.cpp ${CMAKE_SOURCE_DIR}/tests/editor/*.h)
add_executable(oxlade_editor_tests ${OXLADE_EDITOR_TEST_SOURCES}
               ${CMAKE_SOURCE_DIR}/tests/core/TestMain.cpp ${CMAKE_SOURCE_DIR}/tests/core/AllocationGuard.cpp
               ${CMAKE_SOURCE_DIR}/tests/support/X11ErrorHandler.cpp)
oxlade_link_shared_code(oxlade_editor_tests)
target_link_libraries(oxlade_editor_tests PRIVATE GTest::gtest ${CMAKE_DL_LIBS})
if(OXLADE_WITH_DISPLAY)
    set_target_properties(oxlade_editor_tests PROPERTIES CROSSCOMPILING_EMULATOR "${OXLADE_WITH_DISPLAY}")
endif()
gtest_discover_tests(oxlade_editor_tests DISCOVERY_TIMEOUT 120 PROPERTIES LABELS editor)

# Command-line behaviour of the renderer.
add_test(NAME render_cli COMMAND ${CMAKE_COMMAND} -E env OXLADE_RENDER=$<TARGET_FILE:oxlade-render>
         bash ${CMAKE_SOURCE_DIR}/tests/render/render_cli_test.sh)
set_tests_properties(render_cli PROPERTIES LABELS render)

# The Windows build (scripts/build-windows, which the test command runs first) under wine: its
# renderer against this one, and its VST3 through a Windows build of the hosting test. Skipped
# when wine or the Windows build is missing.
set(OXLADE_WINDOWS_BUILD_DIR ${CMAKE_SOURCE_DIR}/build/windows CACHE PATH "The Windows build the wine test runs")
add_test(NAME windows_wine COMMAND ${CMAKE_COMMAND} -E env OXLADE_RENDER=$<TARGET_FILE:oxlade-render>
         OXLADE_WINDOWS_BUILD=${OXLADE_WINDOWS_BUILD_DIR}
         bash ${CMAKE_SOURCE_DIR}/tests/windows/wine_test.sh)
set_tests_properties(windows_wine PROPERTIES LABELS windows SKIP_RETURN_CODE 77)

# Editor screenshots through the renderer (no display: it draws off-screen). The PNGs stay in
# the build folder for reviewers.
add_test(NAME render_screenshots COMMAND ${CMAKE_COMMAND} -E env OXLADE_RENDER=$<TARGET_FILE:oxlade-render>
         OXLADE_SCREENSHOT_DIR=${CMAKE_BINARY_DIR}/screenshots
         bash ${CMAKE_SOURCE_DIR}/tests/render/screenshot_test.sh)
set_tests_properties(render_screenshots PROPERTIES LABELS render)

if(OXLADE_BUILD_BENCH)
    find_package(benchmark REQUIRED)
    file(GLOB OXLADE_BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
    if(OXLADE_BENCH_SOURCES)
        add_executable(oxlade_bench ${OXLADE_BENCH_SOURCES})
        oxlade_link_shared_code(oxlade_bench)
        target_link_libraries(oxlade_bench PRIVATE benchmark::benchmark)
        target_compile_definitions(oxlade_bench PRIVATE OXLADE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
        # libsoxr is the converters' yardstick in the benchmark only; nothing else links it.
        find_package(PkgConfig)
        if(PkgConfig_FOUND)
            pkg_check_modules(SOXR IMPORTED_TARGET soxr)
        endif()
        if(SOXR_FOUND)
            target_link_libraries(oxlade_bench PRIVATE PkgConfig::SOXR)
            target_compile_definitions(oxlade_bench PRIVATE OXLADE_HAVE_SOXR=1)
        endif()
    endif()
endif()

# Hosting test: loads the built VST3 and LV2 bundles through JUCE's own plug-in hosting, the way
# a DAW would. It is a separate program with its own (hosting-enabled) JUCE build, because the
# plug-in's shared code must not carry host code.
option(OXLADE_HOST_TESTS "Build the plug-in hosting test" ON)
if(OXLADE_HOST_TESTS)
find_package(PNG REQUIRED)
find_package(JPEG REQUIRED)
add_executable(oxlade_host_tests tests/host/HostTest.cpp tests/core/TestMain.cpp tests/support/X11ErrorHandler.cpp)
target_link_libraries(oxlade_host_tests PRIVATE
    juce::juce_audio_processors juce::juce_recommended_config_flags GTest::gtest PNG::PNG JPEG::JPEG ${CMAKE_DL_LIBS})
target_compile_definitions(oxlade_host_tests PRIVATE
    JUCE_PLUGINHOST_VST3=1 JUCE_PLUGINHOST_LV2=1 JUCE_WEB_BROWSER=0 JUCE_USE_CURL=0
    JUCE_MODAL_LOOPS_PERMITTED=1 JUCE_STANDALONE_APPLICATION=1
    OXLADE_VST3_BUNDLE="$<TARGET_FILE_DIR:Oxlade_VST3>/../.."
    OXLADE_LV2_BUNDLE="$<TARGET_FILE_DIR:Oxlade_LV2>")
target_compile_options(oxlade_host_tests PRIVATE ${OXLADE_QUIET_JUCE})
add_dependencies(oxlade_host_tests Oxlade_VST3 Oxlade_LV2)
if(OXLADE_WITH_DISPLAY)
    # The editor checks open windows.
    set_target_properties(oxlade_host_tests PROPERTIES CROSSCOMPILING_EMULATOR "${OXLADE_WITH_DISPLAY}")
endif()
gtest_discover_tests(oxlade_host_tests DISCOVERY_TIMEOUT 120 PROPERTIES LABELS host)
endif()
