# SQLite, for the history store: SQLite::SQLite3. Linux links Debian's. The
# Windows build links a static library that scripts/sqlite-mingw makes once
# per build tree from Debian's source package of the same version; the
# programs carry its notices, KELVARIN_SQLITE_NOTICE. Only the Windows library
# has our defaults (foreign keys on, no double-quoted strings, WAL synchronous
# NORMAL): Debian's keeps SQLite's own, so code sets what it relies on for
# each connection.
if(WIN32 AND CMAKE_CROSSCOMPILING)
    set(_sqlite_dir ${CMAKE_BINARY_DIR}/deps/sqlite3)
    set(_sqlite_script ${CMAKE_CURRENT_LIST_DIR}/../scripts/sqlite-mingw)
    # Its one line of progress shows; its error message fails the configure.
    execute_process(COMMAND ${_sqlite_script} ${_sqlite_dir}
        RESULT_VARIABLE _sqlite_result ERROR_VARIABLE _sqlite_error)
    if(NOT _sqlite_result EQUAL 0)
        message(FATAL_ERROR "SQLite for Windows could not be built:\n${_sqlite_error}")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
        ${_sqlite_script} ${CMAKE_CURRENT_LIST_DIR}/../scripts/deb-source)

    add_library(SQLite::SQLite3 STATIC IMPORTED)
    set_target_properties(SQLite::SQLite3 PROPERTIES
        IMPORTED_LOCATION ${_sqlite_dir}/lib/libsqlite3.a
        INTERFACE_INCLUDE_DIRECTORIES ${_sqlite_dir}/include)
    set(KELVARIN_SQLITE_NOTICE ${_sqlite_dir}/share/sqlite3/copyright)
else()
    find_package(SQLite3 REQUIRED)
endif()
