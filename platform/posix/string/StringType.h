#pragma once

// The host build's string is the library's: the tests, the simulated machine and the tools
// trade std::string with the program freely. CMake puts this folder on the include path of
// the host build; the Windows build finds platform/win32/string/.
#include <string>

using String = std::string;

template <class Number>
String ToString(Number value) {
    return std::to_string(value);
}
