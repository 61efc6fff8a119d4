# HF_SANITIZE=ON builds the native tree with AddressSanitizer (leaks included) and
# UndefinedBehaviorSanitizer; any report aborts the test.
option(HF_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(HF_SANITIZE)
    if(WIN32)
        message(FATAL_ERROR "HF_SANITIZE is for the native build only")
    endif()
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()
