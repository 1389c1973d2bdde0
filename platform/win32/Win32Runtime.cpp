// The C++ runtime's allocation and failure paths for the Windows programs, which are built
// without exceptions: nothing in them throws or catches.
//
// The library's own operator new throws std::bad_alloc, and the inline code of String and
// std::vector calls the library's std::__throw_* helpers, which throw too. Either would link the
// whole exception machinery: throwing and unwinding, the exception classes with a second string
// implementation, the handler for an uncaught exception with its name demangler, and the thread
// library they lock with; together more than the rest of the setup program. Here each of those
// paths ends the program as an uncaught exception ended it: a line on the standard error, then
// abort(), whose exit code is 3.

#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

[[noreturn]] void endProgram(const char* what) {
    std::fputs("terminate called: ", stderr);
    std::fputs(what, stderr);
    std::fputs("\n", stderr);
    std::abort();
}

}  // namespace

void* operator new(std::size_t size) {
    // malloc(0) may answer null without having failed.
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    endProgram("out of memory");
}

void* operator new[](std::size_t size) {
    return ::operator new(size);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}

// The library's nothrow versions call the throwing ones and catch their exception, which would
// link the exception machinery back in; these answer null.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return ::operator new(size, tag);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}

// The library defines all of these helpers in one object. Each one is replaced, so that object
// is never needed, and never linked beside this one.
namespace std {

void __throw_bad_exception() {
    endProgram("std::bad_exception");
}
void __throw_bad_alloc() {
    endProgram("out of memory");
}
void __throw_bad_array_new_length() {
    endProgram("std::bad_array_new_length");
}
void __throw_bad_cast() {
    endProgram("std::bad_cast");
}
void __throw_bad_typeid() {
    endProgram("std::bad_typeid");
}
void __throw_logic_error(const char* what) {
    endProgram(what);
}
void __throw_domain_error(const char* what) {
    endProgram(what);
}
void __throw_invalid_argument(const char* what) {
    endProgram(what);
}
void __throw_length_error(const char* what) {
    endProgram(what);
}
void __throw_out_of_range(const char* what) {
    endProgram(what);
}
// The format's arguments are left out: printing them would link a printf engine for a message
// that names the failed operation already.
void __throw_out_of_range_fmt(const char* format, ...) {
    endProgram(format);
}
void __throw_runtime_error(const char* what) {
    endProgram(what);
}
void __throw_range_error(const char* what) {
    endProgram(what);
}
void __throw_overflow_error(const char* what) {
    endProgram(what);
}
void __throw_underflow_error(const char* what) {
    endProgram(what);
}

}  // namespace std
