# Shared part of the MinGW-w64 toolchain files: compilers, search paths, static runtime.
set(CMAKE_C_COMPILER ${PRW3_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PRW3_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PRW3_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${PRW3_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Every exe and DLL then imports only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
