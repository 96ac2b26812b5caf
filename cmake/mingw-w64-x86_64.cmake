# Cross-compiling for Windows x86-64 with Debian's MinGW-w64, posix thread
# model (std::thread needs it). Used for the Windows Qt and, chained from
# that Qt's own toolchain file, for the programs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KESTRA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KESTRA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTRA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTRA_MINGW_TRIPLE}-windres)

# Libraries and headers come from the MinGW tree only, never from the
# Linux system; programs (host tools) from the host.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${KESTRA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config answers for the Windows libraries beside this file (the SDK's
# deps/), never for the host's.
set(ENV{PKG_CONFIG_LIBDIR} ${CMAKE_CURRENT_LIST_DIR}/deps/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
