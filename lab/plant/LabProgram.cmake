# hf_lab_program(<name> SOURCES ... [LIBS ...] [GUI]): a lab tool (test infrastructure, never
# shipped): a static Unicode console program with the lab's shared pieces (hf_lab_common).
include_guard(GLOBAL)
function(hf_lab_program name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE hf_lab_common ${ARG_LIBS})
    target_link_options(${name} PRIVATE -municode)
    hf_warnings(${name})
endfunction()
