# The image and compression libraries JUCE's graphics code needs, for the Windows
# cross-build: zlib from bookworm's MinGW package, PNG and JPEG built from the
# bookworm sources that scripts/setup.sh downloads and checks.
include(ExternalProject)

set(ORLIX_WINDOWS_SOURCES "${CMAKE_SOURCE_DIR}/.deps/sources")
set(ORLIX_ZLIB_INCLUDE "${CMAKE_SOURCE_DIR}/.deps/mingw-w64-12/zlib/include")
set(ORLIX_ZLIB_LIBRARY "/usr/x86_64-w64-mingw32/lib/libz.a")
set(ORLIX_CODECS_PREFIX "${CMAKE_BINARY_DIR}/codecs")

foreach(required "${ORLIX_ZLIB_INCLUDE}/zlib.h" "${ORLIX_ZLIB_LIBRARY}"
                 "${ORLIX_WINDOWS_SOURCES}/libpng1.6_1.6.39.orig.tar.gz"
                 "${ORLIX_WINDOWS_SOURCES}/libjpeg-turbo_2.1.5.orig.tar.gz")
    if(NOT EXISTS "${required}")
        message(FATAL_ERROR "${required} is missing: run scripts/setup.sh windows first")
    endif()
endforeach()

set(ORLIX_CODEC_CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX=${ORLIX_CODECS_PREFIX}
    -DCMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER}
    -DCMAKE_POSITION_INDEPENDENT_CODE=ON)

ExternalProject_Add(orlix_libpng
    URL "${ORLIX_WINDOWS_SOURCES}/libpng1.6_1.6.39.orig.tar.gz"
    URL_HASH SHA256=a00e9d2f2f664186e4202db9299397f851aea71b36a35e74910b8820e380d441
    CMAKE_ARGS ${ORLIX_CODEC_CMAKE_ARGS}
        -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF
        -DPNG_HARDWARE_OPTIMIZATIONS=OFF
        -DZLIB_INCLUDE_DIR=${ORLIX_ZLIB_INCLUDE} -DZLIB_LIBRARY=${ORLIX_ZLIB_LIBRARY}
    BUILD_BYPRODUCTS "${ORLIX_CODECS_PREFIX}/lib/libpng16.a"
    DOWNLOAD_EXTRACT_TIMESTAMP TRUE)

ExternalProject_Add(orlix_libjpeg
    URL "${ORLIX_WINDOWS_SOURCES}/libjpeg-turbo_2.1.5.orig.tar.gz"
    URL_HASH SHA256=254f3642b04e309fee775123133c6464181addc150499561020312ec61c1bf7c
    CMAKE_ARGS ${ORLIX_CODEC_CMAKE_ARGS}
        -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF
    BUILD_BYPRODUCTS "${ORLIX_CODECS_PREFIX}/lib/libjpeg.a"
    DOWNLOAD_EXTRACT_TIMESTAMP TRUE)
# JUCE's loader reads the library's internal header too, as Debian installs it on Linux.
ExternalProject_Add_Step(orlix_libjpeg internal_header
    COMMAND "${CMAKE_COMMAND}" -E copy <SOURCE_DIR>/jpegint.h "${ORLIX_CODECS_PREFIX}/include/"
    DEPENDEES install)

file(MAKE_DIRECTORY "${ORLIX_CODECS_PREFIX}/include")
add_library(orlix_system_codecs INTERFACE)
add_dependencies(orlix_system_codecs orlix_libpng orlix_libjpeg)
target_include_directories(orlix_system_codecs SYSTEM INTERFACE "${ORLIX_CODECS_PREFIX}/include" "${ORLIX_ZLIB_INCLUDE}")
target_link_libraries(orlix_system_codecs INTERFACE
    "${ORLIX_CODECS_PREFIX}/lib/libpng16.a" "${ORLIX_CODECS_PREFIX}/lib/libjpeg.a" "${ORLIX_ZLIB_LIBRARY}")
