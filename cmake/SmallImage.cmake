# Small Windows images. The setup program is a download that people wait for, and its C++
# runtime must not outweigh the program: so the Windows build leaves out the parts of C++ that
# nothing in it uses (nothing throws or catches, asks for a type at run time or runs a second
# thread), and a release is compiled for size and optimised as one unit at link time.
# platform/win32/Win32Runtime.cpp supplies the allocation and failure paths that the library's
# exception-based ones would otherwise drag in.

# The language as the Windows programs use it, in every configuration. Thread-safe local statics
# would link a thread library and the exception support for a program that runs one thread.
add_compile_options(
    $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions>
    $<$<COMPILE_LANGUAGE:CXX>:-fno-rtti>
    $<$<COMPILE_LANGUAGE:CXX>:-fno-threadsafe-statics>)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # Without exceptions the 32-bit unwind tables only serve a debugger, which reads its own.
    # (On x86-64 they are the system's own unwind data, which Windows walks itself.)
    add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-fno-asynchronous-unwind-tables>
                        $<$<COMPILE_LANGUAGE:C,CXX>:-fno-unwind-tables>)
endif()

# What a release is built with: for size, and optimised as one unit at link time, which drops
# what no one calls and inlines across the platform layer. The linker drops the unused sections
# of the libraries too. (A section per function and datum buys nothing on top of that.)
string(REPLACE "-O3" "-Oz" CMAKE_C_FLAGS_RELEASE "${CMAKE_C_FLAGS_RELEASE}")
string(REPLACE "-O3" "-Oz" CMAKE_CXX_FLAGS_RELEASE "${CMAKE_CXX_FLAGS_RELEASE}")
add_link_options($<$<CONFIG:Release>:-Wl,--gc-sections>)
# A switch as a chain of compares is smaller than a table of addresses, each of which also
# costs a relocation; a function called from one place stays a function, since a copy merged
# into its caller grows the caller's frame and repeats its clean-up. Neither is on a path where
# the difference shows. Constant arrays (paths, tables, long texts) keep the alignment of what
# they hold, not the 32 bytes that the compiler gives them by default for vector loads that
# code compiled for size never makes: 328 bytes of padding in the setup program. Given to the
# link as well, where the optimisation at link time compiles the code again.
set(ZIL_SIZE_OPTIONS -fno-jump-tables -fno-inline-functions-called-once -malign-data=abi)
add_compile_options("$<$<CONFIG:Release>:${ZIL_SIZE_OPTIONS}>")
add_link_options("$<$<CONFIG:Release>:${ZIL_SIZE_OPTIONS}>")

# A 32-bit release passes arguments with pushes. Stack probes would forbid that: a function
# that may probe must reserve its argument space in the prologue and store into it, which in
# this program is 3 KB of longer instructions. What the probes guard against is a frame larger
# than a page, which could step over the guard page that Windows grows a stack by; so no frame
# may pass 3.5 KiB (an error, whatever the warning settings), which leaves the calls' pushes
# room below it. Larger buffers live on the heap or in static storage. And the stack is kept
# aligned to the 4 bytes that Windows promises a 32-bit thread, not to 16: the processor these
# programs are built for has no SSE that would want more, a function whose data wants 8 aligns
# its own frame, and 16 costs an adjustment around many calls (4 KB of the setup program).
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(ZIL_STACK_OPTIONS -mno-stack-arg-probe -Werror=frame-larger-than=3584
                          -mpreferred-stack-boundary=2)
    add_compile_options("$<$<AND:$<CONFIG:Release>,$<COMPILE_LANGUAGE:C,CXX>>:${ZIL_STACK_OPTIONS}>")
    add_link_options("$<$<CONFIG:Release>:${ZIL_STACK_OPTIONS}>")
endif()

include(CheckIPOSupported)
check_ipo_supported(RESULT ZIL_LTO_SUPPORTED OUTPUT ZIL_LTO_MESSAGE LANGUAGES C CXX)
if(NOT ZIL_LTO_SUPPORTED)
    message(FATAL_ERROR "The Windows release needs link-time optimisation: ${ZIL_LTO_MESSAGE}")
endif()
set(CMAKE_INTERPROCEDURAL_OPTIMIZATION_RELEASE ON)

# One partition: GCC 12's optimiser for mingw splits the program into pieces that then miss each
# other's private copies of library functions (undefined "lto_priv" symbols, or an internal
# error). The program is small enough that one piece costs nothing but a second of linking.
add_link_options($<$<CONFIG:Release>:-flto-partition=one>)
# In a program that links the distribution's inflate, zlib's CRC-32 (8 KB of tables, used only
# for gzip streams, which these programs never read) gives way to a small one of its own:
# platform/win32/Win32Crc32.cpp, linked as an object of the program so that zlib's calls find it
# wherever the libraries fall on the link line. The setup program's own inflate
# (cmake/ZlibInflate.cmake) is built without gzip and needs no CRC-32 at all.
set(ZIL_SMALL_CRC32_SOURCE ${CMAKE_SOURCE_DIR}/platform/win32/Win32Crc32.cpp)
function(zil_use_small_crc32 target)
    target_sources(${target} PRIVATE ${ZIL_SMALL_CRC32_SOURCE})
    # Outside the link-time optimisation: the linker's --wrap would not find it inside.
    set_source_files_properties(${ZIL_SMALL_CRC32_SOURCE} TARGET_DIRECTORY ${target}
                                PROPERTIES COMPILE_OPTIONS -fno-lto)
    target_link_options(${target} PRIVATE -Wl,--wrap=crc32)
endfunction()
