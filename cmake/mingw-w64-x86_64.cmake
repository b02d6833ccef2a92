# Cross build for 64-bit Windows with Debian's mingw-w64 (the posix-thread compiler, so
# std::thread and std::mutex work). The programs are linked statically and run alone;
# CTest runs the tests under wine (tools/wine-run keeps its prefix in the build folder).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VORN_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VORN_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORN_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VORN_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VORN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run)
