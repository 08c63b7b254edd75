# Cross-build for Windows with MinGW-w64 (32-bit by default), statically linked, run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)

# i686 is what ships; x86_64 serves hosts that cannot execute 32-bit code under Wine.
set(QM_MINGW_ARCH "i686" CACHE STRING "MinGW-w64 target: i686 or x86_64")
set(CMAKE_SYSTEM_PROCESSOR ${QM_MINGW_ARCH})
set(_qm_triple ${QM_MINGW_ARCH}-w64-mingw32)

set(CMAKE_C_COMPILER ${_qm_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_qm_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_qm_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_qm_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No runtime DLLs: libgcc, libstdc++ and winpthread are linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Wide-character Win32 API throughout.
set(CMAKE_CXX_FLAGS_INIT "-DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -DNOMINMAX")

# Test programs run under Wine through a wrapper that prepares the Wine environment.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)
