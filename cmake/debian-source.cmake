# Libraries the Windows build needs that Debian ships only for Linux are made
# from Debian's own source packages by a script per library (scripts/SCRIPT
# OUTDIR, idempotent), once per build tree, into ${CMAKE_BINARY_DIR}/deps/NAME.
# Sets `out_dir` to that folder; the script's error message fails the
# configure.
function(kelvarin_from_debian_source script name out_dir)
    set(dir ${CMAKE_BINARY_DIR}/deps/${name})
    set(script ${PROJECT_SOURCE_DIR}/scripts/${script})
    # Its one line of progress shows.
    execute_process(COMMAND ${script} ${dir} RESULT_VARIABLE result ERROR_VARIABLE error)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${name} for Windows could not be built:\n${error}")
    endif()
    set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
        ${script} ${PROJECT_SOURCE_DIR}/scripts/deb-source)
    set(${out_dir} ${dir} PARENT_SCOPE)
endfunction()
