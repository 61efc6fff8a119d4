# The same sources for 64-bit Windows: what the Wine ring and the lab run on machines whose
# kernel executes 64-bit user code only (no 32-bit Wine there).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(HF_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
