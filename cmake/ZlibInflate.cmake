# zlib's inflate, built from its source for the Windows programs: the distribution's library is
# compiled for speed with whole objects and unwind tables, which is some 16 KB of a setup
# program that only ever inflates zlib streams. scripts/deps.sh fetches and checks the pinned
# source and unpacks it here; it is never fetched at build time.
set(ZIL_ZLIB_SOURCE_DIR /usr/local/src/zil/zlib-1.2.13.dfsg
    CACHE PATH "zlib's source, unpacked by scripts/deps.sh")
set(ZIL_ZLIB_INFLATE_FILES inffast.c inflate.c inftrees.c zutil.c)
foreach(file IN LISTS ZIL_ZLIB_INFLATE_FILES ITEMS zlib.h zconf.h)
    if(NOT EXISTS ${ZIL_ZLIB_SOURCE_DIR}/${file})
        message(FATAL_ERROR "zlib's source is missing (${ZIL_ZLIB_SOURCE_DIR}/${file}): run "
                            "scripts/deps.sh as root, or set ZIL_ZLIB_SOURCE_DIR to an unpacked "
                            "zlib 1.2.13")
    endif()
endforeach()
list(TRANSFORM ZIL_ZLIB_INFLATE_FILES PREPEND ${ZIL_ZLIB_SOURCE_DIR}/)

# With an Adler-32 of the program's own in place of zlib's unrolled one.
add_library(zil_inflate STATIC ${ZIL_ZLIB_INFLATE_FILES}
            ${CMAKE_SOURCE_DIR}/platform/win32/Win32Adler32.cpp)
# Its headers are zlib's own, so the programs keep calling zlib's interface as they always have.
target_include_directories(zil_inflate SYSTEM PUBLIC ${ZIL_ZLIB_SOURCE_DIR})
# NO_GZIP: the programs open every stream with inflateInit_, which never reads a gzip header,
# and without it inflate needs no CRC-32 at all. A section per function and datum lets the
# linker drop what the programs do not call. A release optimises it with the program at link
# time, which makes the setup program 512 bytes smaller than linking it as plain objects.
# BUILDFIXED: the tables of the fixed Huffman codes (2 KB of constants) are built at the first
# block that uses them; that rewrites two statics, which is safe in these single-threaded programs.
target_compile_definitions(zil_inflate PRIVATE NO_GZIP BUILDFIXED)
target_compile_options(zil_inflate PRIVATE -Oz -ffunction-sections -fdata-sections
                       -fno-asynchronous-unwind-tables -fno-unwind-tables)
# zlib's own files are written in a C that today's warnings dislike; ours are held to them.
set_source_files_properties(${ZIL_ZLIB_INFLATE_FILES} PROPERTIES COMPILE_OPTIONS -w)
