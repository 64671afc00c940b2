# JUCE 8 from the unpacked Debian packages in .deps/ (see scripts/setup.sh).
# Only the module support and utility scripts are used: the package's own
# config file points at system paths and at helper programs built for a newer
# C library than this machine has.
set(ORLIX_JUCE_ROOT "${CMAKE_SOURCE_DIR}/.deps/juce-8.0.6" CACHE PATH "Unpacked JUCE packages")
set(ORLIX_JUCE_CMAKE_DIR "${ORLIX_JUCE_ROOT}/usr/lib/x86_64-linux-gnu/cmake/JUCE-8.0.6")
set(ORLIX_JUCE_MODULES_DIR "${ORLIX_JUCE_ROOT}/usr/share/juce/modules")

if(NOT EXISTS "${ORLIX_JUCE_CMAKE_DIR}/JUCEUtils.cmake")
    message(FATAL_ERROR "JUCE not found in ${ORLIX_JUCE_ROOT}: run scripts/setup.sh first")
endif()

include("${ORLIX_JUCE_CMAKE_DIR}/JUCEModuleSupport.cmake")
include("${ORLIX_JUCE_CMAKE_DIR}/JUCEUtils.cmake")

set(ORLIX_JUCE_MODULES
    juce_core juce_events juce_data_structures juce_graphics juce_gui_basics juce_gui_extra
    juce_audio_basics juce_audio_devices juce_audio_formats juce_audio_processors
    juce_audio_utils juce_dsp juce_audio_plugin_client)

foreach(module IN LISTS ORLIX_JUCE_MODULES)
    juce_add_module("${ORLIX_JUCE_MODULES_DIR}/${module}" ALIAS_NAMESPACE juce)
endforeach()

# Debian's JUCE leaves out the bundled image and compression libraries; the
# system's copies stand in for them on Linux. For Windows, zlib comes from
# bookworm's MinGW package and PNG and JPEG are built from bookworm's sources.
find_package(PkgConfig REQUIRED)
if(WIN32)
    include(cmake/WindowsLibraries.cmake)
else()
    pkg_check_modules(ORLIX_SYSTEM_CODECS REQUIRED IMPORTED_TARGET libpng libjpeg zlib)
    add_library(orlix_system_codecs INTERFACE)
    target_link_libraries(orlix_system_codecs INTERFACE PkgConfig::ORLIX_SYSTEM_CODECS)
endif()

# On Windows JUCE asks its helper program for the version resource; the one in
# Debian's package cannot run here, so a script of ours writes it.
if(WIN32 AND NOT TARGET juce::juceaide)
    add_executable(juce::juceaide IMPORTED GLOBAL)
    set_target_properties(juce::juceaide PROPERTIES IMPORTED_LOCATION "${CMAKE_SOURCE_DIR}/cmake/windows_resources.py")
endif()
