# The product's target: 32-bit Windows (runs on 64-bit Windows under WoW64).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(HF_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
