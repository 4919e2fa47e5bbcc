# The JUCE plug-in and everything that links its shared code: renderer, core tests, benchmarks.
# JUCE's modules are compiled once, into the plug-in's shared-code static library `Oxlade`;
# the other executables link that library and borrow its include paths and definitions.

find_package(JUCE 7.0.5 EXACT CONFIG REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(OXLADE_CODECS REQUIRED IMPORTED_TARGET flac vorbisenc vorbisfile vorbis ogg)

set(OXLADE_LV2_URI "https://harlund.audio/plugins/oxlade")

juce_add_plugin(Oxlade
    COMPANY_NAME "Harlund"
    COMPANY_WEBSITE "https://harlund.audio"
    COMPANY_EMAIL "support@harlund.audio"
    PRODUCT_NAME "Oxlade"
    VERSION "1.0.2"
    PLUGIN_MANUFACTURER_CODE Hlnd
    PLUGIN_CODE Oxld
    FORMATS VST3 LV2 Standalone
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
    set_target_properties(OxladeResources PROPERTIES POSITION_INDEPENDENT_CODE ON)
    target_link_libraries(Oxlade PRIVATE OxladeResources)
    target_compile_definitions(Oxlade PUBLIC OXLADE_HAS_RESOURCES=1)
endif()

target_compile_definitions(Oxlade
    PUBLIC
        JUCE_WEB_BROWSER=0
        JUCE_USE_CURL=1
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
        PkgConfig::OXLADE_CODECS
    PUBLIC
        oxlade_dsp
        juce::juce_recommended_config_flags
        juce::juce_recommended_warning_flags)

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
    target_link_libraries(${target} PRIVATE Oxlade PkgConfig::OXLADE_CODECS)
    target_include_directories(${target} PRIVATE $<TARGET_PROPERTY:Oxlade,INCLUDE_DIRECTORIES>)
    target_compile_definitions(${target} PRIVATE $<TARGET_PROPERTY:Oxlade,COMPILE_DEFINITIONS>)
    target_compile_options(${target} PRIVATE -Wall -Wextra ${OXLADE_QUIET_JUCE})
endfunction()

# Offline renderer.
add_executable(oxlade-render tools/render/main.cpp tools/render/Demo.cpp tools/render/Renderer.cpp tools/render/Screenshot.cpp)
oxlade_link_shared_code(oxlade-render)
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
