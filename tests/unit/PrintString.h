#pragma once

// The program's string in test output: gtest messages (`<< path`) and the values it prints
// when an assertion fails show the text, not a list of characters. CMake hands this header to
// every file of the test programs, so that gtest prints a String alike in all of them.

#include <ostream>
#include <string_view>

#include "text/StringType.h"

inline std::ostream& operator<<(std::ostream& out, const SmallString& text) {
    return out << std::string_view(text);
}

// Found by gtest's printer before its own for containers.
inline void PrintTo(const SmallString& text, std::ostream* out) {
    *out << '"' << std::string_view(text) << '"';
}
