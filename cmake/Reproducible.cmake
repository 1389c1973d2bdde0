# Reproducible Windows images: the same commit gives the same bytes wherever and whenever it is
# built, so anyone can check that a shipped file came from a given commit (SHA256SUMS).

# The folders the sources and the build happen to lie in never reach an image (__FILE__, debug
# information).
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=.)

# The one date in an image is the time stamp of its file header. It is SOURCE_DATE_EPOCH when
# the builder sets it, else the time of the commit being built; without either it is left 0.
# The linker reads SOURCE_DATE_EPOCH from its environment, so every link gets it there.
function(zil_source_date out)
    if(DEFINED ENV{SOURCE_DATE_EPOCH})
        if(NOT "$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
            message(FATAL_ERROR "SOURCE_DATE_EPOCH is not a number of seconds: $ENV{SOURCE_DATE_EPOCH}")
        endif()
        set(${out} $ENV{SOURCE_DATE_EPOCH} PARENT_SCOPE)
        return()
    endif()
    find_package(Git QUIET)
    if(NOT GIT_FOUND)
        return()
    endif()
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                    OUTPUT_VARIABLE date OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE status ERROR_QUIET)
    if(NOT status EQUAL 0 OR NOT date MATCHES "^[0-9]+$")
        return()
    endif()
    # A new commit must reach the images of a tree that is only rebuilt, not configured again.
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --git-path HEAD --symbolic-full-name HEAD
                    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                    OUTPUT_VARIABLE refs OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    string(REPLACE "\n" ";" refs "${refs}")
    list(GET refs 0 head)
    set(watched ${head})
    list(LENGTH refs count)
    if(count GREATER 1)
        list(GET refs 1 branch)
        execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --git-path ${branch} --git-path packed-refs
                        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                        OUTPUT_VARIABLE branch_files OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        string(REPLACE "\n" ";" branch_files "${branch_files}")
        list(APPEND watched ${branch_files})
    endif()
    foreach(file ${watched})
        get_filename_component(file ${file} ABSOLUTE BASE_DIR ${CMAKE_SOURCE_DIR})
        if(EXISTS ${file})
            set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
        endif()
    endforeach()
    set(${out} ${date} PARENT_SCOPE)
endfunction()

zil_source_date(ZIL_SOURCE_DATE)
if(DEFINED ZIL_SOURCE_DATE)
    message(STATUS "Windows images are dated ${ZIL_SOURCE_DATE} (SOURCE_DATE_EPOCH)")
    foreach(lang C CXX)
        set(CMAKE_${lang}_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${ZIL_SOURCE_DATE})
    endforeach()
else()
    message(STATUS "Windows images carry no date: no SOURCE_DATE_EPOCH and no commit")
    add_link_options(-Wl,--no-insert-timestamp)
endif()

# Writes output (a SHA256SUMS file, as sha256sum -c reads it) with one line per file, named by
# its file name alone; it is written again whenever one of the files changes.
# zil_release_checksums(OUTPUT file FILES file... DEPENDS target...)
function(zil_release_checksums)
    cmake_parse_arguments(PARSE_ARGV 0 arg "" "OUTPUT" "FILES;DEPENDS")
    add_custom_command(OUTPUT ${arg_OUTPUT}
                       COMMAND ${CMAKE_COMMAND} -DOUTPUT=${arg_OUTPUT} "-DFILES=${arg_FILES}"
                               -P ${CMAKE_SOURCE_DIR}/cmake/WriteChecksums.cmake
                       DEPENDS ${arg_FILES} ${arg_DEPENDS}
                               ${CMAKE_SOURCE_DIR}/cmake/WriteChecksums.cmake
                       COMMENT "Writing ${arg_OUTPUT}"
                       VERBATIM)
    add_custom_target(release-checksums ALL DEPENDS ${arg_OUTPUT})
endfunction()
