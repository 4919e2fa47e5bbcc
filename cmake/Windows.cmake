# Targets of the Windows build (cross-compiled with mingw-w64 by scripts/build-windows; included
# from Plugin.cmake after the plug-in itself): the renderer and the hosting test. Nothing here
# registers a CTest test: the Linux build's tests run these programs under wine
# (tests/windows/, label "windows").

# The Windows targets link the C and C++ runtimes statically (see the toolchain file); the
# plug-in exports only what JUCE's VST3 wrapper marks for export.

add_executable(oxlade-render tools/render/main.cpp tools/render/Demo.cpp tools/render/Renderer.cpp tools/render/Screenshot.cpp
               tools/render/FlacReader.cpp)
oxlade_link_shared_code(oxlade-render)
target_include_directories(oxlade-render PRIVATE ${CMAKE_SOURCE_DIR}/tools/render)
target_compile_definitions(oxlade-render PRIVATE OXLADE_RENDER_FLAC=0)
# A console program: its output goes to the terminal that started it.
target_link_options(oxlade-render PRIVATE -mconsole)

# The hosting test with a Windows build of JUCE's VST3 host. The bundle path is the Windows
# build's own, as wine sees it (drive Z: is the build machine's root).
option(OXLADE_HOST_TESTS "Build the plug-in hosting test" ON)
if(OXLADE_HOST_TESTS)
    find_package(PNG REQUIRED)
    find_package(JPEG REQUIRED)
    add_executable(oxlade_host_tests tests/host/HostTest.cpp tests/core/TestMain.cpp)
    target_link_libraries(oxlade_host_tests PRIVATE
        juce::juce_audio_processors juce::juce_recommended_config_flags GTest::gtest PNG::PNG JPEG::JPEG)
    target_compile_definitions(oxlade_host_tests PRIVATE
        JUCE_PLUGINHOST_VST3=1 JUCE_PLUGINHOST_LV2=0 JUCE_WEB_BROWSER=0 JUCE_USE_CURL=0
        JUCE_MODAL_LOOPS_PERMITTED=1 JUCE_STANDALONE_APPLICATION=1
        OXLADE_VST3_BUNDLE="$<TARGET_FILE_DIR:Oxlade_VST3>/../..")
    target_compile_options(oxlade_host_tests PRIVATE ${OXLADE_QUIET_JUCE})
    target_link_options(oxlade_host_tests PRIVATE -mconsole)
    add_dependencies(oxlade_host_tests Oxlade_VST3)
endif()
