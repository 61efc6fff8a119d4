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

# The platform's mitigations, stated rather than left to the linker's defaults (objdump -p shows
# them as DllCharacteristics): ASLR with the relocations it needs, DEP, and Terminal-Server aware
# (a program that is not may be given a private Windows folder per user on a Remote Desktop
# host). High-entropy ASLR exists for 64-bit images only. A 32-bit image states how it handles
# structured exceptions: GNU ld cannot write a SafeSEH table, and nothing in these programs
# registers an SEH frame (GCC's exceptions are DWARF-2 tables here; scripts/test checks the
# product's code for frame registrations), so it states "no SEH" truthfully.
# Reproducible: no link time in the header (the same sources give the same bytes anywhere).
# Options rather than *_FLAGS_INIT, so that a build folder configured before they were stated
# gets them too.
add_link_options(-Wl,--dynamicbase -Wl,--enable-reloc-section -Wl,--nxcompat -Wl,--tsaware
                 -Wl,--no-insert-timestamp -fstack-protector-strong)
if(HF_MINGW_PREFIX MATCHES "^x86_64")
    add_link_options(-Wl,--high-entropy-va)
else()
    add_link_options(-Wl,--no-seh)
endif()

# A canary in every function with an array or an address taken (libssp, linked statically), and
# the runtime's checked string and memory functions where the compiler knows the buffer's size
# (mingw-w64 honours _FORTIFY_SOURCE when optimising). No build path inside the product: the
# source and build folders are recorded as "." and "build" (__FILE__, debug information).
get_filename_component(hf_source_dir "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
add_compile_options(-fstack-protector-strong -ffile-prefix-map=${hf_source_dir}=.)
if(CMAKE_BINARY_DIR)
    add_compile_options(-ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
endif()
add_compile_definitions(UNICODE _UNICODE NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601
                        _FORTIFY_SOURCE=2)

# Wine-ring tests run through a wrapper that gives each run a throwaway prefix under Xvfb.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
