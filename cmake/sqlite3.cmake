# SQLite, for the history store: SQLite::SQLite3. Linux links Debian's. The
# Windows build links a static library that scripts/sqlite-mingw makes once
# per build tree from Debian's source package of the same version; the
# programs carry its notices, KELVARIN_SQLITE_NOTICE. Only the Windows library
# has our defaults (foreign keys on, no double-quoted strings, WAL synchronous
# NORMAL): Debian's keeps SQLite's own, so code sets what it relies on for
# each connection.
if(WIN32 AND CMAKE_CROSSCOMPILING)
    kelvarin_from_debian_source(sqlite-mingw sqlite3 _sqlite_dir)
    add_library(SQLite::SQLite3 STATIC IMPORTED)
    set_target_properties(SQLite::SQLite3 PROPERTIES
        IMPORTED_LOCATION ${_sqlite_dir}/lib/libsqlite3.a
        INTERFACE_INCLUDE_DIRECTORIES ${_sqlite_dir}/include)
    set(KELVARIN_SQLITE_NOTICE ${_sqlite_dir}/share/sqlite3/copyright)
else()
    find_package(SQLite3 REQUIRED)
endif()
