# libxlsxwriter, for writing .xlsx workbooks: Xlsxwriter::Xlsxwriter. Linux
# links Debian's. The Windows build links a static library that
# scripts/xlsxwriter-mingw makes once per build tree from Debian's source
# package of the same version, with the minizip that libxlsxwriter bundles
# (Debian's links the system's), and zlib from libz-mingw-w64-dev; the
# programs carry both notices, KELVARIN_XLSXWRITER_NOTICE (a list of files).
if(WIN32 AND CMAKE_CROSSCOMPILING)
    kelvarin_from_debian_source(xlsxwriter-mingw xlsxwriter _xlsx_dir)
    # The static zlib, not its import library: the programs run on their own.
    find_library(KELVARIN_MINGW_ZLIB NAMES libz.a REQUIRED)
    add_library(Xlsxwriter::Xlsxwriter STATIC IMPORTED)
    set_target_properties(Xlsxwriter::Xlsxwriter PROPERTIES
        IMPORTED_LOCATION ${_xlsx_dir}/lib/libxlsxwriter.a
        INTERFACE_INCLUDE_DIRECTORIES ${_xlsx_dir}/include
        INTERFACE_LINK_LIBRARIES ${KELVARIN_MINGW_ZLIB})
    set(KELVARIN_XLSXWRITER_NOTICE
        ${_xlsx_dir}/share/xlsxwriter/copyright ${_xlsx_dir}/share/xlsxwriter/zlib-copyright)
else()
    # Debian's shared library brings its zlib itself.
    find_path(KELVARIN_XLSXWRITER_INCLUDE_DIR xlsxwriter.h)
    find_library(KELVARIN_XLSXWRITER_LIBRARY xlsxwriter)
    if(NOT KELVARIN_XLSXWRITER_INCLUDE_DIR OR NOT KELVARIN_XLSXWRITER_LIBRARY)
        message(FATAL_ERROR "libxlsxwriter not found: install libxlsxwriter-dev (scripts/deps demo)")
    endif()
    add_library(Xlsxwriter::Xlsxwriter UNKNOWN IMPORTED)
    set_target_properties(Xlsxwriter::Xlsxwriter PROPERTIES
        IMPORTED_LOCATION ${KELVARIN_XLSXWRITER_LIBRARY}
        INTERFACE_INCLUDE_DIRECTORIES ${KELVARIN_XLSXWRITER_INCLUDE_DIR})
endif()
