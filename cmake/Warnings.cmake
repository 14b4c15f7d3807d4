# SPDX-License-Identifier: MIT
# One place that says how strict the compiler is with our own targets.
function(paddock_set_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(PADDOCK_WARNINGS_AS_ERRORS)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
