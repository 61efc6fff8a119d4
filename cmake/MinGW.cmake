# Shared part of the two MinGW-w64 toolchain files; HF_MINGW_PREFIX names the target triple.
set(CMAKE_SYSTEM_NAME Windows)
# The posix thread model: GCC 12's win32 model has no std::mutex, which GoogleTest needs.
# Linked statically like everything else, so the programs still import only system DLLs.
set(CMAKE_C_COMPILER ${HF_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HF_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${HF_MINGW_PREFIX}-windres)

# Append rather than set, so roots given on the command line survive.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${HF_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static: the programs import only system DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
add_compile_definitions(UNICODE _UNICODE NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)

# Wine-ring tests run through a wrapper that gives each run a throwaway prefix under Xvfb.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
