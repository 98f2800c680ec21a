# Strict warnings for the project's own targets only; third-party headers are
# included as system headers so they cannot break the build.
function(kelvarin_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /WX)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
        # GCC 12 reports overlapping copies inside std::string's own
        # concatenation when it inlines it at -O3 (a known false positive of
        # that release); every other warning stays an error.
        if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
            target_compile_options(${target} PRIVATE -Wno-restrict)
        endif()
    endif()
endfunction()
