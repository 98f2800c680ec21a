# Strict warnings for the project's own targets only; third-party headers are
# included as system headers so they cannot break the build.
function(kelvarin_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /WX)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
    endif()
endfunction()
