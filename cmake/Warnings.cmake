# Warnings as errors for the project's own code; call hf_warnings(<target>) on each target.
option(HF_WERROR "Treat warnings as errors" ON)

function(hf_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                             -Wno-sign-conversion)
    if(HF_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
