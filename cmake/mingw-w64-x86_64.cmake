# Cross-building for 64-bit Windows with Debian's MinGW-w64 GCC (POSIX threads).
# The compiler is bookworm's; the Windows headers and C runtime are MinGW-w64 12
# from Debian's newer suite, unpacked by scripts/setup.sh into .deps/mingw-w64-12,
# because bookworm's lack the Direct2D and UI Automation interfaces JUCE needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(ORLIX_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ORLIX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORLIX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ORLIX_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${ORLIX_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${ORLIX_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

get_filename_component(ORLIX_MINGW_ROOT "${CMAKE_CURRENT_LIST_DIR}/../.deps/mingw-w64-12" ABSOLUTE)
set(ORLIX_MINGW_SYSROOT "${ORLIX_MINGW_ROOT}/usr/${ORLIX_MINGW_TRIPLE}")
set(ORLIX_MINGW_GCC_DIR "/usr/lib/gcc/${ORLIX_MINGW_TRIPLE}/12-posix")
if(NOT EXISTS "${ORLIX_MINGW_SYSROOT}/include/d2d1_3.h")
    message(FATAL_ERROR "MinGW-w64 12 not found in ${ORLIX_MINGW_ROOT}: run scripts/setup.sh windows first")
endif()

# The compiler's own headers, then the newer Windows headers in place of bookworm's.
set(ORLIX_MINGW_C_INCLUDES
    "-nostdinc -isystem ${ORLIX_MINGW_GCC_DIR}/include -isystem ${ORLIX_MINGW_GCC_DIR}/include-fixed -isystem ${ORLIX_MINGW_SYSROOT}/include")
set(ORLIX_MINGW_CXX_INCLUDES
    "-nostdinc -isystem ${ORLIX_MINGW_GCC_DIR}/include/c++ -isystem ${ORLIX_MINGW_GCC_DIR}/include/c++/${ORLIX_MINGW_TRIPLE} -isystem ${ORLIX_MINGW_GCC_DIR}/include/c++/backward -isystem ${ORLIX_MINGW_GCC_DIR}/include -isystem ${ORLIX_MINGW_GCC_DIR}/include-fixed -isystem ${ORLIX_MINGW_SYSROOT}/include")
# Windows 10 declarations, as the Windows SDK gives by default (JUCE's Direct2D code needs
# the sprite batches of Windows 10); JUCE looks newer functions up at run time itself.
set(ORLIX_MINGW_WINDOWS_VERSION "-D_WIN32_WINNT=0x0A00 -DWINVER=0x0A00 -DNTDDI_VERSION=0x0A00000C")
set(CMAKE_C_FLAGS_INIT "${ORLIX_MINGW_C_INCLUDES} ${ORLIX_MINGW_WINDOWS_VERSION}")
set(CMAKE_CXX_FLAGS_INIT "${ORLIX_MINGW_CXX_INCLUDES} ${ORLIX_MINGW_WINDOWS_VERSION}")
set(CMAKE_RC_FLAGS_INIT "-I${ORLIX_MINGW_SYSROOT}/include")

# The newer C runtime and import libraries first; everything from the GCC and
# MinGW runtimes linked in statically, so the binaries need only Windows' own DLLs.
set(ORLIX_MINGW_LINK "-B${ORLIX_MINGW_SYSROOT}/lib/ -L${ORLIX_MINGW_SYSROOT}/lib -static")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${ORLIX_MINGW_LINK}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${ORLIX_MINGW_LINK}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${ORLIX_MINGW_LINK}")

set(CMAKE_FIND_ROOT_PATH "${ORLIX_MINGW_SYSROOT}" "/usr/${ORLIX_MINGW_TRIPLE}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests and benchmarks run under Wine.
find_program(ORLIX_WINE wine)
if(ORLIX_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR "${ORLIX_WINE}")
endif()
