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
string(REPLACE "-O3" "-Os" CMAKE_C_FLAGS_RELEASE "${CMAKE_C_FLAGS_RELEASE}")
string(REPLACE "-O3" "-Os" CMAKE_CXX_FLAGS_RELEASE "${CMAKE_CXX_FLAGS_RELEASE}")
add_link_options($<$<CONFIG:Release>:-Wl,--gc-sections>)

include(CheckIPOSupported)
check_ipo_supported(RESULT ZIL_LTO_SUPPORTED OUTPUT ZIL_LTO_MESSAGE LANGUAGES C CXX)
if(NOT ZIL_LTO_SUPPORTED)
    message(FATAL_ERROR "The Windows release needs link-time optimisation: ${ZIL_LTO_MESSAGE}")
endif()
set(CMAKE_INTERPROCEDURAL_OPTIMIZATION_RELEASE ON)

