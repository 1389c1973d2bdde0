#pragma once

// The program's string, in both builds: its own small one (text/SmallString.h), so that the
// library's string template is not compiled into the setup program, and so that the host build's
// tests, fault sweep and demo run the very string that ships. The simulated machine, the tools
// and the tests keep std::string for their own work and convert where they meet the program.
#include "text/SmallString.h"

using String = SmallString;

template <class Number>
String ToString(Number value) {
    return SmallToString(value);
}
