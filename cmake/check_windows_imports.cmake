# Fails when a Windows binary imports a DLL that Windows itself does not ship:
# everything of the compiler's and MinGW's runtimes must be linked in.
#   cmake -DOBJDUMP=... -DBINARIES="a.dll;b.exe" -P check_windows_imports.cmake
cmake_minimum_required(VERSION 3.22)

set(system_dlls
    advapi32 comctl32 comdlg32 d2d1 d3d11 dbghelp dcomp dwmapi dwrite dxgi gdi32 imm32 kernel32
    msvcrt ole32 oleaut32 shell32 shlwapi user32 version winhttp wininet winmm ws2_32)

foreach(binary IN LISTS BINARIES)
    execute_process(COMMAND "${OBJDUMP}" -p "${binary}" OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "cannot read the imports of ${binary}")
    endif()
    string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
    if(NOT lines)
        message(FATAL_ERROR "${binary} imports nothing, which no Windows program does: wrong file?")
    endif()
    set(names)
    foreach(line IN LISTS lines)
        string(REGEX REPLACE "DLL Name: " "" name "${line}")
        string(TOLOWER "${name}" name)
        string(REGEX REPLACE "\\.dll$" "" stem "${name}")
        list(APPEND names "${name}")
        if(NOT stem IN_LIST system_dlls)
            message(FATAL_ERROR "${binary} imports ${name}, which is not part of Windows")
        endif()
    endforeach()
    list(JOIN names " " shown)
    message(STATUS "${binary}: ${shown}")
endforeach()
